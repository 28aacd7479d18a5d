#include "storico/storico.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the history cannot be written, as the message on stderr says it.
QString reasonText(int err)
{
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("disco pieno");
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case EROFS:
        return QStringLiteral("disco di sola lettura");
    case EISDIR:
        return QStringLiteral("è una cartella");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("cartella mancante");
    case EIO:
        return QStringLiteral("errore del disco");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

// Writes all of data; false with errno set on failure.
bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

// HistoryLog: a queue, and one thread that appends what is queued.

class HistoryLog::Worker
{
public:
    struct State
    {
        QString path;
        std::mutex mutex;
        std::condition_variable wake;  // something queued, or stop
        std::condition_variable idle;  // the queue emptied, or the thread ended
        std::deque<HistoryEntry> queue;
        bool busy = false;
        bool stop = false;
        bool exited = false;
        bool failed = false;  // touched by the thread only, read under the mutex
    };

    explicit Worker(const QString &path)
        : state(std::make_shared<State>())
    {
        state->path = path;
        // The thread owns a share of the state: if it is stuck on a dead disk when the
        // log is destroyed, it is left behind with what it needs.
        thread = std::thread(run, state);
    }

    static void run(std::shared_ptr<State> s);

    std::shared_ptr<State> state;
    std::thread thread;
};

namespace {

struct Appender
{
    const QString &path;
    int fd = -1;
    bool failed = false;

    void fail(int err) { fail(reasonText(err)); }
    void fail(const QString &reason)
    {
        failed = true;
        std::fprintf(stderr, "quizzolo: impossibile scrivere lo storico delle risposte (%s: %s): il gioco continua senza\n",
                     qPrintable(path), qPrintable(reason));
        std::fflush(stderr);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Opens for appending; writes the header into a new or empty file, and a line ending
    // after a line cut short by an earlier crash, so the next line starts on its own.
    bool open()
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        const bool existed = ::stat(name.constData(), &st) == 0;
        // O_NONBLOCK: a pipe put in the file's place must not block the opening.
        fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) {
            fail(errno);
            return false;
        }
        if (::fstat(fd, &st) != 0) {
            fail(errno);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            fail(QStringLiteral("non è un file normale"));
            return false;
        }
        if (st.st_size == 0) {
            const QByteArray header = QByteArray(historyHeader) + "\r\n";
            if (!writeAll(fd, header.constData(), header.size())) {
                const int err = errno;
                // A full disk takes the new file but not its first line: leave nothing behind.
                if (!existed)
                    ::unlink(name.constData());
                fail(err);
                return false;
            }
        } else {
            char last = '\n';
            if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && !writeAll(fd, "\r\n", 2)) {
                fail(errno);
                return false;
            }
        }
        return true;
    }

    void append(const HistoryEntry &entry)
    {
        if (failed || (fd < 0 && !open()))
            return;
        // One write per line: a crash loses at most the line being written.
        const QByteArray line = encodeHistoryLine(entry);
        if (!writeAll(fd, line.constData(), line.size()))
            fail(errno);
    }

    // The file is open only while lines are being written: a file held open would stop
    // its disk from being remounted read-only or taken away, and a history deleted
    // between two answers is started again rather than written into a removed file.
    void close()
    {
        if (fd < 0)
            return;
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0 && errno != EINTR)
            fail(errno);
    }
};

} // namespace

void HistoryLog::Worker::run(std::shared_ptr<State> s)
{
    Appender appender{s->path};
    std::unique_lock lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&] { return s->stop || !s->queue.empty(); });
        if (s->queue.empty())
            break;
        std::deque<HistoryEntry> batch;
        batch.swap(s->queue);
        s->busy = true;
        lock.unlock();
        for (const HistoryEntry &entry : batch)
            appender.append(entry);
        appender.close();
        lock.lock();
        s->busy = false;
        s->failed = appender.failed;
        s->idle.notify_all();
    }
    // No sync: a power cut may lose the lines of the last seconds (still in the system's
    // cache) but damages no older line, and a sync per answer could stall on a slow disk.
    s->exited = true;
    s->idle.notify_all();
}

HistoryLog::HistoryLog(const QString &path)
    : m_worker(std::make_unique<Worker>(path))
{
}

HistoryLog::~HistoryLog()
{
    const auto &s = m_worker->state;
    std::unique_lock lock(s->mutex);
    s->stop = true;
    s->wake.notify_all();
    // The game must not hang on leaving because a disk stopped answering.
    const bool exited = s->idle.wait_for(lock, std::chrono::seconds(2), [&] { return s->exited; });
    lock.unlock();
    if (exited)
        m_worker->thread.join();
    else
        m_worker->thread.detach();
}

void HistoryLog::append(const HistoryEntry &entry)
{
    const auto &s = m_worker->state;
    {
        const std::lock_guard lock(s->mutex);
        if (s->failed)
            return;
        s->queue.push_back(entry);
    }
    s->wake.notify_one();
}

bool HistoryLog::flush(int timeoutMs)
{
    const auto &s = m_worker->state;
    std::unique_lock lock(s->mutex);
    const bool done = s->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return s->queue.empty() && !s->busy; });
    return done && !s->failed;
}
