#pragma once

#include "storico/historyfile.h"

#include <QString>

#include <sys/types.h>

// Brings the copy of this computer's history in a class folder up to date: appends to it, in
// order, the answers of the local history it lacks. The copy is a history file of its own
// (HistoryFile, Shared), so a kill at any moment leaves it with whole lines after the next
// catch-up, and never a line twice: what the copy lacks is found from its own last lines, not
// from anything remembered elsewhere. A copy written by an earlier version, whose lines were
// written there instead of locally, keeps them and gains the local ones. Answers are copied
// as records: damaged lines are left out and old lines completed (copiedRecord()). It only
// reads the local history. Internal to the storico library and its tests; not thread-safe.
class ClassCopy final
{
public:
    ClassCopy(QString localPath, QString copyPath);

    // True when the copy holds every answer of the local history (a missing local history has
    // none); false with reason() when the copy cannot be reached, refused or written.
    bool catchUp();
    const QString &reason() const { return m_reason; }
    const QString &copyPath() const { return m_copy.path(); }

private:
    struct Mark
    {
        dev_t dev = 0;
        ino_t ino = 0;
        qint64 size = -1;
        bool operator==(const Mark &) const = default;
    };
    bool fail(const QString &reason);
    qint64 lackingFrom(int local, qint64 localSize);
    bool copyFrom(int local, qint64 from, qint64 localSize, qint64 &done);

    QString m_localPath;
    HistoryFile m_copy;
    QString m_reason;
    // After a catch-up, the copy as it was left and how far the local history had reached it:
    // when both are found as they were left, the next catch-up appends at once.
    Mark m_copyLeft;
    Mark m_localLeft;
};

// The local history's offset from which the copy lacks its answers: just past the last local
// answer found among the copy's last ones, or 0 when none is. local and copy are open file
// descriptors, read with pread; sizes as they stand.
qint64 classCopyLacksFrom(int local, qint64 localSize, int copy, qint64 copySize);
