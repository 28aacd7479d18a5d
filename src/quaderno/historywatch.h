#pragma once

#include "scelte/scelte.h"
#include "storico/storico.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <memory>

class QFileSystemWatcher;
class QTimer;

// Follows a history file or a class folder while the notebook is open: it reads it on Qt's
// thread pool, so that a long history never freezes the window, then reads again what
// changes (the files and their folder are watched, and looked at every 2 seconds as well,
// since a network folder may not report changes), and hands the window each new summary.
// It owns the HistoryFollower: what is known of the files stays here.
class HistoryWatch final : public QObject
{
    Q_OBJECT

public:
    explicit HistoryWatch(QObject *parent = nullptr);
    ~HistoryWatch() override;  // waits for a reading under way

    // Follows a history file, or a class folder (sources.classFolder) with this computer's
    // own history beside it when that is the folder its games copy to, and the children's
    // choices (in choicesFolder, or this account's configuration when it is empty); what was
    // followed before is dropped, and a reading of it still under way goes unseen.
    void follow(const HistorySources &sources, const QString &choicesFolder);
    // Reads what changed now, or once more after the reading under way.
    void refresh();
    // The children's choices, as the last reading found them.
    const Scelte::Tutte &choices() const { return m_choices; }

signals:
    // A reading finished (the first, or after a change); the summary may equal the last one.
    void summaryRead(const HistorySummary &summary);

private:
    void read();
    void finished();
    void watch();

    struct Reading
    {
        HistorySummary summary;
        Scelte::Tutte choices;
    };

    HistorySources m_sources;
    QString m_choicesFolder;
    Scelte::Tutte m_choices;
    std::shared_ptr<HistoryFollower> m_follower;
    std::shared_ptr<HistoryFollower> m_reading;  // the follower of the reading under way
    QFutureWatcher<Reading> m_read;
    bool m_again = false;
    QFileSystemWatcher *m_watcher;
    QTimer *m_poll;
};
