#pragma once

#include "storico/storico.h"

#include <memory>

// Appends the game's answers to the history without ever blocking the game on a disk or a
// network: worker threads do the writing. It never throws and never shows anything to the
// child; what goes wrong is said on stderr, in Italian.
//
// Every answer goes into path, this computer's own history (storico.csv in the data folder),
// in order. An append that fails (a full disk, an I/O error) stops nothing: the answers wait,
// in order, and are written when the file takes them again, at the next answer or within a
// few seconds. That is said once when it starts and once when it is over; answers still
// waiting when the log is destroyed, because the fault still holds, are lost, and their number
// is said.
//
// With a class folder (historyClassFolder()), the folder also holds classHistoryFileName(), a
// copy of this history brought up to date (ClassCopy) when the log starts and after each
// answer; when the folder cannot be reached, at the next answer or within 30 seconds once it
// can. A folder out of reach is said once, and once when it is back; the answers meanwhile
// are safe in path and reach the copy later, at the latest at the next game.
class HistoryLog final
{
public:
    explicit HistoryLog(const QString &path, const QString &classFolder = {});
    ~HistoryLog();  // writes what is still waiting, waiting a bounded time
    HistoryLog(const HistoryLog &) = delete;
    HistoryLog &operator=(const HistoryLog &) = delete;

    void append(const HistoryEntry &entry);
    // Waits until every answer appended so far is in path and, with a class folder, in its
    // copy, or the last attempt at either failed; false then, or on time-out. For tests and
    // tools.
    bool flush(int timeoutMs = 5000);

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};
