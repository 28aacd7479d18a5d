#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

// The history of answers, storico.csv in the program's data folder: one line per checked
// answer, so that the notebook can show a parent or a teacher how a child is doing.
// The game only appends; the notebook only reads. Plain code: Qt Core only.
//
// The file: UTF-8 without a byte-order mark, lines ended by CR LF, fields separated by ';'
// and quoted with '"' (inner quotes doubled) when they hold ';', '"', CR or LF. The first
// line is historyHeader; then one line per answer, e.g.
//   2026-12-07T10:15:03+01:00;2026-12-07T10:15:09+01:00;Mario;3;6;1;6500;2;2100
// Times are local with their offset, in whole seconds (UTC is written +00:00, read also
// as Z); fattore is 1 to 10, esatta 1 or 0, millisecondi a whole number, tabellina 2 to 10,
// dopo_dettatura a whole number or empty when not known. Files written before the table
// was kept start with oldHistoryHeader and have lines of the first seven fields only: they
// read as the table of 2 with dopo_dettatura not known.

inline constexpr char historyFileName[] = "storico.csv";
inline constexpr char historyHeader[] =
    "partita;ora;nome;fattore;risposta;esatta;millisecondi;tabellina;dopo_dettatura";
inline constexpr char oldHistoryHeader[] = "partita;ora;nome;fattore;risposta;esatta;millisecondi";

// One checked answer.
struct HistoryEntry
{
    QDateTime partita;        // when the game started (the name dialog closed)
    QDateTime ora;            // when the answer was checked
    QString nome;             // the child's name as the game uses it ("Amico" for none)
    int fattore = 0;          // the second factor, 1 to 10
    QString risposta;         // Text3 as typed
    bool esatta = false;      // the check's verdict
    qint64 millisecondi = 0;  // from the problem being posed to the check
    int tabellina = 2;        // the first factor, 2 to 10
    qint64 dopoDettatura = -1; // from the end of the dictation (or the first key) to the check; -1 unknown
};

// The line for one entry: ';'-separated fields, quoted where needed, ended by CR LF.
QByteArray encodeHistoryLine(const HistoryEntry &entry);
// One record (without its line ending) back into an entry; nullopt when malformed.
std::optional<HistoryEntry> decodeHistoryLine(QByteArrayView line);

// Appends entries to storico.csv without blocking the caller on the disk (a worker
// thread does the writing). It never throws and never shows anything: a history that
// cannot be written is said once on stderr, in Italian, and the game goes on.
class HistoryLog final
{
public:
    explicit HistoryLog(const QString &path);
    ~HistoryLog();  // writes what is still queued, waiting a bounded time
    HistoryLog(const HistoryLog &) = delete;
    HistoryLog &operator=(const HistoryLog &) = delete;

    void append(const HistoryEntry &entry);
    // Waits until everything appended so far is on disk or has failed; false on failure
    // or time-out. For tests and for leaving.
    bool flush(int timeoutMs = 5000);

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

// What the notebook shows, computed while reading so that a million lines stay small.
struct FactStats
{
    int answers = 0;
    int right = 0;
    qint64 medianMs = -1;  // -1 with no answers
    // Among the facts to practise most: at most three, the lowest share right first, then
    // the slowest, of the facts answered and not yet mastered (some answer wrong, or a
    // median slower than the child's median over all facts).
    bool weak = false;
};

struct GameSummary
{
    QDateTime started;
    int right = 0;
    int wrong = 0;
};

struct ChildReport
{
    QString name;
    QList<GameSummary> games;          // oldest first
    std::array<FactStats, 10> facts;   // facts[f - 1] is 2 x f
};

struct HistorySummary
{
    bool exists = false;     // the file was there
    qint64 entries = 0;      // answers read
    qint64 skipped = 0;      // lines that could not be read
    QString error;           // why the file could not be read (Italian), empty when it could
    QStringList names;       // most recent first
    QHash<QString, ChildReport> children;
};

// Reads a history piece by piece, as readHistory reads a file; for reading in a thread of
// one's own with progress, and for tests.
class HistoryReader final
{
public:
    HistoryReader();
    ~HistoryReader();
    HistoryReader(const HistoryReader &) = delete;
    HistoryReader &operator=(const HistoryReader &) = delete;

    // Takes the whole records at the start of data and returns how many bytes it took; the
    // rest must be given again, followed by what comes next. With atEnd it takes all.
    qsizetype feed(QByteArrayView data, bool atEnd);
    HistorySummary finish();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// Reads the whole history; never fails: lines that cannot be read (damaged, or cut short by
// a crash) are counted in skipped, a file that cannot be read at all is said in error.
HistorySummary readHistory(const QString &path);
HistorySummary summarizeHistory(QByteArrayView content);
