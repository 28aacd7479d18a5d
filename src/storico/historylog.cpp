#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSysInfo>

#include <cerrno>
#include <climits>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
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
        QString classFolder;
        std::mutex mutex;
        std::condition_variable wake;  // something queued, or stop
        std::condition_variable idle;  // the queue emptied, or the thread ended
        std::deque<HistoryEntry> queue;
        bool busy = false;
        bool stop = false;
        bool exited = false;
        bool failed = false;  // touched by the thread only, read under the mutex
    };

    Worker(const QString &path, const QString &classFolder)
        : state(std::make_shared<State>())
    {
        state->path = path;
        state->classFolder = classFolder;
        // The thread owns a share of the state: if it is stuck on a dead disk when the
        // log is destroyed, it is left behind with what it needs.
        thread = std::thread(run, state);
    }

    static void run(std::shared_ptr<State> s);

    std::shared_ptr<State> state;
    std::thread thread;
};

namespace {

// Appends lines to the history. Every game that appends holds the file's lock (flock) while
// it writes, and the upgrade of an old file holds it while it copies and replaces the file:
// an answer appended by another game at the same time goes either into the copy or, after
// the replacement, into the new file, and is never lost with the old one.
struct Appender
{
    QString path;         // where the lines go, once chosen
    QString localPath;    // storico.csv in the data folder
    QString classFolder;  // the class's shared folder, or empty
    bool chosen = false;
    int fd = -1;
    bool failed = false;
    bool upgradeTried = false;

    static void say(const QString &text)
    {
        std::fprintf(stderr, "quizzolo: %s\n", qPrintable(text));
        std::fflush(stderr);
    }

    void fail(int err) { fail(reasonText(err)); }
    void fail(const QString &reason)
    {
        failed = true;
        say(QStringLiteral("impossibile scrivere lo storico delle risposte (%1: %2): il gioco continua senza")
                .arg(path, reason));
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // The class folder when its file opens there, else the local file, said once on
    // stderr. Chosen at the first answer, by the worker: a network folder may take long
    // to answer, and the window must not wait for it.
    bool choose()
    {
        chosen = true;
        path = localPath;
        if (classFolder.isEmpty())
            return open();
        path = QDir(classFolder).filePath(classHistoryFileName());
        QString why;
        if (open(&why))
            return true;
        say(QStringLiteral("la cartella della classe non si raggiunge (%1: %2): lo storico si scrive in %3")
                .arg(classFolder, why, localPath));
        path = localPath;
        return open();
    }

    // Opens for appending and takes the lock, on the file the name holds once the lock is
    // held (an upgrade by another game may have replaced it meanwhile); writes the header
    // into a new or empty file, upgrades an old one, and writes a line ending after a line
    // cut short by an earlier crash, so the next line starts on its own. With why, a file
    // that cannot be opened is not said but told there.
    bool open(QString *why = nullptr)
    {
        const QByteArray name = QFile::encodeName(path);
        auto refuse = [&](const QString &reason) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
            if (why)
                *why = reason;
            else
                fail(reason);
            return false;
        };
        struct stat st {};
        bool existed = false;
        for (int attempt = 0;; ++attempt) {
            existed = ::stat(name.constData(), &st) == 0;
            // O_NONBLOCK: a pipe put in the file's place must not block the opening.
            fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
            if (fd < 0)
                return refuse(reasonText(errno));
            if (::fstat(fd, &st) != 0)
                return refuse(reasonText(errno));
            if (!S_ISREG(st.st_mode))
                return refuse(QStringLiteral("non è un file normale"));
            // A folder whose file system has no locks is written unlocked, as before.
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            struct stat now {};
            if (::stat(name.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
                break;
            if (attempt == 10)
                return refuse(reasonText(ESTALE));
            ::close(fd);
            fd = -1;
        }
        if (::fstat(fd, &st) != 0)
            return refuse(reasonText(errno));
        if (st.st_size == 0) {
            const QByteArray header = QByteArray(historyHeader) + "\r\n";
            if (!writeAll(fd, header.constData(), header.size())) {
                const int err = errno;
                // A full disk takes the new file but not its first line: leave nothing behind.
                if (!existed)
                    ::unlink(name.constData());
                return refuse(reasonText(err));
            }
            return true;
        }
        if (!upgradeTried && oldHeaderLength(st.st_size) > 0) {
            upgradeTried = true;
            if (upgrade(name, st)) {
                ::close(fd);  // the old file, now replaced: its lock goes with it
                fd = -1;
                return open(why);
            }
        }
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && !writeAll(fd, "\r\n", 2))
            return refuse(reasonText(errno));
        return true;
    }

    // The length of the old header with its line ending, when the file starts with it; 0
    // otherwise.
    qsizetype oldHeaderLength(qint64 size) const
    {
        constexpr qsizetype length = sizeof oldHistoryHeader - 1;
        char start[length + 2];
        const ssize_t n = ::pread(fd, start, size_t(qMin<qint64>(size, length + 2)), 0);
        if (n < length + 1 || QByteArrayView(start, length) != QByteArrayView(oldHistoryHeader))
            return 0;
        if (start[length] == '\n')
            return length + 1;
        if (start[length] != '\r')
            return 0;
        return n == length + 2 && start[length + 1] == '\n' ? length + 2 : length + 1;
    }

    // A file of the old format gets the new header: the whole file is written beside it
    // (the new header, then the old lines untouched, which stay readable), synced, and
    // renamed over it. A kill at any moment leaves the old file or the new one, whole; a
    // copy left by a kill is written again by the next upgrade. Done once: when it cannot
    // be done (a read-only folder, a full disk), lines go on after the old header, still
    // readable, and that is said once.
    bool upgrade(const QByteArray &given, const struct stat &st)
    {
        // A history kept elsewhere through a symbolic link stays there.
        char resolved[PATH_MAX];
        const QByteArray name = ::realpath(given.constData(), resolved) ? QByteArray(resolved) : given;
        const QByteArray copyName = name + ".aggiornamento";
        int copy = ::open(copyName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
        bool done = copy >= 0;
        int err = errno;
        auto write = [&](const char *data, qsizetype size) {
            if (done && !writeAll(copy, data, size)) {
                done = false;
                err = errno;
            }
        };
        const QByteArray header = QByteArray(historyHeader) + "\r\n";
        write(header.constData(), header.size());
        QByteArray chunk(1 << 16, Qt::Uninitialized);
        for (off_t at = off_t(oldHeaderLength(st.st_size)); done;) {
            const ssize_t n = ::pread(fd, chunk.data(), size_t(chunk.size()), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                done = n == 0;
                err = errno;
                break;
            }
            write(chunk.constData(), n);
            at += n;
        }
        if (done && ::fsync(copy) != 0) {
            done = false;
            err = errno;
        }
        if (copy >= 0 && ::close(copy) != 0 && done) {
            done = false;
            err = errno;
        }
        if (done && ::rename(copyName.constData(), name.constData()) != 0) {
            done = false;
            err = errno;
        }
        if (!done) {
            if (copy >= 0)
                ::unlink(copyName.constData());
            say(QStringLiteral("impossibile portare lo storico delle risposte al nuovo formato (%1: %2): le "
                               "risposte si aggiungono come prima")
                    .arg(path, reasonText(err)));
        }
        return done;
    }

    void append(const HistoryEntry &entry)
    {
        if (failed || (fd < 0 && !(chosen ? open() : choose())))
            return;
        // One write per line: a crash loses at most the line being written.
        const QByteArray line = encodeHistoryLine(entry);
        if (!writeAll(fd, line.constData(), line.size()))
            fail(errno);
    }

    // The file is open (and locked) only while lines are being written: a file held open
    // would stop its disk from being remounted read-only or taken away, and a history
    // deleted between two answers is started again rather than written into a removed file.
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
    Appender appender;
    appender.localPath = s->path;
    appender.classFolder = s->classFolder;
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

HistoryLog::HistoryLog(const QString &path, const QString &classFolder)
    : m_worker(std::make_unique<Worker>(path, classFolder))
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

namespace {

// A computer's or a user's name as part of a file name on any file server: ASCII letters,
// digits, '.', '_' and '-' kept, anything else (a '/', a space, an accent) made '_'.
QString fileNamePart(const QString &text)
{
    QString part = text.left(64);
    for (QChar &c : part) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '_'
              || u == '-'))
            c = u'_';
    }
    return part;
}

} // namespace

QString classHistoryFileName(const QString &computer, const QString &user)
{
    return QStringLiteral("storico-%1-%2.csv").arg(fileNamePart(computer), fileNamePart(user));
}

QString classHistoryFileName()
{
    // getpwuid_r: the log's worker asks this, beside the game's thread.
    struct passwd entry {};
    struct passwd *account = nullptr;
    char buffer[4096];
    ::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &account);
    const QString user = account ? QString::fromLocal8Bit(account->pw_name) : qEnvironmentVariable("USER");
    return classHistoryFileName(QSysInfo::machineHostName(), user);
}

QString historyClassFolder()
{
    return QSettings(QStringLiteral("quizzolo"), QStringLiteral("quizzolo"))
        .value(QStringLiteral("storico/cartella"))
        .toString();
}
