#include "quaderno/historywatch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QtConcurrent>

namespace {

// A network folder may not report changes: it is looked at this often all the same.
constexpr int pollMs = 2000;

} // namespace

HistoryWatch::HistoryWatch(QObject *parent)
    : QObject(parent)
    , m_watcher(new QFileSystemWatcher(this))
    , m_poll(new QTimer(this))
{
    m_poll->setInterval(pollMs);
    connect(m_poll, &QTimer::timeout, this, &HistoryWatch::refresh);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &HistoryWatch::refresh);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &HistoryWatch::refresh);
    connect(&m_read, &QFutureWatcher<HistorySummary>::finished, this, &HistoryWatch::finished);
}

HistoryWatch::~HistoryWatch()
{
    m_read.waitForFinished();
}

void HistoryWatch::follow(const HistorySources &sources, const QString &choicesFolder)
{
    m_sources = sources;
    m_choicesFolder = choicesFolder;
    // A follower of its own: one still reading the old path just finishes, unseen.
    m_follower = std::make_shared<HistoryFollower>(m_sources);
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_poll->start();
    refresh();
}

void HistoryWatch::refresh()
{
    if (m_read.isRunning()) {
        m_again = true;
        return;
    }
    read();
}

void HistoryWatch::read()
{
    m_again = false;
    m_reading = m_follower;
    const QString file = m_sources.classFolder.isEmpty() ? m_sources.paths.value(0) : QString();
    m_read.setFuture(QtConcurrent::run([follower = m_follower, file, choices = m_choicesFolder] {
        Reading reading;
        // A folder where the game's file should be is no class: it is said as an error.
        reading.summary = !file.isEmpty() && QFileInfo(file).isDir() ? readHistory(file) : follower->refresh();
        reading.choices = Scelte(choices).tutte(reading.summary.names);
        return reading;
    }));
}

void HistoryWatch::finished()
{
    if (m_reading == m_follower) {
        watch();
        const Reading reading = m_read.result();
        m_choices = reading.choices;
        emit summaryRead(reading.summary);
    }
    if (m_again || m_reading != m_follower)
        read();
}

void HistoryWatch::watch()
{
    // The watcher forgets a file that is replaced: whatever it lacks is added again after
    // each reading.
    QStringList paths;
    for (const QString &path : std::as_const(m_sources.paths)) {
        if (path == m_sources.classFolder) {
            paths += historyFilesIn(path);
            paths.append(path);
        } else {
            paths.append(path);
            paths.append(QFileInfo(path).absolutePath());
        }
    }
    QStringList missing;
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    for (const QString &p : paths)
        if (!watched.contains(p) && QFileInfo::exists(p))
            missing.append(p);
    if (!missing.isEmpty())
        m_watcher->addPaths(missing);
}
