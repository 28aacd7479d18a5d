#pragma once

#include <QByteArrayView>
#include <QString>

// One history file opened for appending. While open it holds the file's lock (flock), so two
// games appending to one file never lose a line. Opening gives a new or empty file its header,
// a file of the old format the new header (the whole file written anew beside it and put in its
// place, the old lines kept as they are), and a line cut short by a crash a line ending, so the
// next line starts on its own. A write that fails is taken back, so a full disk leaves no half
// line behind. It never says anything: the caller decides what to tell. Internal to the storico
// library and its tests.
//
// A file in a folder that other accounts can write (a class folder) is opened Shared: never
// through a symbolic link, never when another account owns it or it has a second name (a hard
// link), created only under its own name and only where nothing stands, and never rewritten
// whole (an old header stays: the lines after it read as well).
class HistoryFile final
{
public:
    enum class Place { Own, Shared };

    HistoryFile(QString path, Place place);
    ~HistoryFile();
    HistoryFile(const HistoryFile &) = delete;
    HistoryFile &operator=(const HistoryFile &) = delete;

    const QString &path() const { return m_path; }
    // Opens (creating the file when missing) and takes the lock; false with reason() when it
    // cannot. An upgrade to the new header that fails leaves the file as it is: upgradeFailure()
    // then says why (once for this object).
    bool open();
    bool isOpen() const { return m_fd >= 0; }
    int handle() const { return m_fd; }
    // Appends data (whole lines) at the end in one write; false with reason() when it fails,
    // the file then cut back to where it ended before.
    bool append(QByteArrayView data);
    // Closes the file, letting the lock go; false with reason() when the close reported a
    // write that failed (a network file).
    bool close();

    // Why the last open, append or close failed, in Italian ("disco pieno").
    const QString &reason() const { return m_reason; }
    // Why the upgrade to the new header could not be done, once; empty otherwise.
    QString takeUpgradeFailure();

private:
    bool fail(const QString &reason);
    bool openShared(const QByteArray &name, bool &created);
    qsizetype oldHeaderLength(qint64 size) const;
    bool upgrade(qsizetype oldHeader);
    void removeKilledUpgrades(qsizetype oldHeader);

    QString m_path;
    Place m_place;
    int m_fd = -1;
    bool m_locked = false;
    bool m_upgradeTried = false;
    QString m_reason;
    QString m_upgradeFailure;
};

// Why a file operation failed, as a message says it: "disco pieno", "permesso negato"...
QString historyErrorText(int err);
