#include "storico/historyfile.h"

#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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

const QByteArray newHeader = QByteArray(historyHeader) + "\r\n";

} // namespace

QString historyErrorText(int err)
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
    case ELOOP:
        return QStringLiteral("è un collegamento simbolico");
    case ESTALE:
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENOTCONN:
        return QStringLiteral("la rete non risponde");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

HistoryFile::HistoryFile(QString path, Place place)
    : m_path(std::move(path))
    , m_place(place)
{
}

HistoryFile::~HistoryFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HistoryFile::fail(const QString &reason)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_reason = reason;
    return false;
}

QString HistoryFile::takeUpgradeFailure()
{
    return std::exchange(m_upgradeFailure, QString());
}

// In a folder others can write, the name is never opened through a symbolic link, and created
// only where nothing stands; open() then refuses a file another account owns or one with a
// second name, so a name planted first by someone else is refused, never written through.
bool HistoryFile::openShared(const QByteArray &name, bool &created)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        m_fd = ::open(name.constData(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        created = false;
        if (m_fd < 0 && errno == ENOENT) {
            m_fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                          0644);
            created = true;
            if (m_fd < 0 && errno == EEXIST)
                continue;  // made by someone else meanwhile: looked at as any other
        }
        return m_fd >= 0 || fail(historyErrorText(errno));
    }
    return fail(historyErrorText(EEXIST));
}

bool HistoryFile::open()
{
    if (m_fd >= 0)
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    const bool shared = m_place == Place::Shared;
    struct stat st {};
    bool created = false;
    for (int attempt = 0;; ++attempt) {
        if (shared) {
            if (!openShared(name, created))
                return false;
        } else {
            created = ::stat(name.constData(), &st) != 0;
            // O_NONBLOCK: a pipe put in the file's place must not block the opening.
            m_fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
            if (m_fd < 0)
                return fail(historyErrorText(errno));
        }
        if (::fstat(m_fd, &st) != 0)
            return fail(historyErrorText(errno));
        if (!S_ISREG(st.st_mode))
            return fail(QStringLiteral("non è un file normale"));
        if (shared && st.st_uid != ::geteuid())
            return fail(QStringLiteral("il file è di un altro utente"));
        if (shared && st.st_nlink > 1)
            return fail(QStringLiteral("il file ha un altro nome (un collegamento)"));
        // A file system without locks is written unlocked.
        int taken;
        while ((taken = ::flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        m_locked = taken == 0;
        // Another game may have put a new file in the name's place (an upgrade) while this one
        // waited for the lock: append to the file the name holds now.
        struct stat now {};
        const int found = shared ? ::lstat(name.constData(), &now) : ::stat(name.constData(), &now);
        if (found == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
            break;
        if (attempt == 10)
            return fail(historyErrorText(ESTALE));
        ::close(m_fd);
        m_fd = -1;
    }
    if (::fstat(m_fd, &st) != 0)
        return fail(historyErrorText(errno));
    if (st.st_size == 0) {
        if (writeAll(m_fd, newHeader.constData(), newHeader.size()))
            return true;
        const int err = errno;
        // A full disk takes a new file but not its first line: leave nothing behind.
        if (created && !shared)
            ::unlink(name.constData());
        else
            (void)::ftruncate(m_fd, 0);
        return fail(historyErrorText(err));
    }
    if (!shared && !m_upgradeTried) {
        if (const qsizetype length = oldHeaderLength(st.st_size); length > 0) {
            m_upgradeTried = true;
            if (upgrade(length)) {
                ::close(m_fd);  // the old file, now replaced: its lock goes with it
                m_fd = -1;
                return open();
            }
        }
    }
    char last = '\n';
    if (::pread(m_fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && !writeAll(m_fd, "\r\n", 2))
        return fail(historyErrorText(errno));
    return true;
}

qsizetype HistoryFile::oldHeaderLength(qint64 size) const
{
    constexpr qsizetype length = sizeof oldHistoryHeader - 1;
    char start[length + 2];
    const ssize_t n = ::pread(m_fd, start, size_t(qMin<qint64>(size, length + 2)), 0);
    if (n < length + 1 || QByteArrayView(start, length) != QByteArrayView(oldHistoryHeader))
        return 0;
    if (start[length] == '\n')
        return length + 1;
    if (start[length] != '\r')
        return 0;
    return n == length + 2 && start[length + 1] == '\n' ? length + 2 : length + 1;
}

// An upgrade killed after its copy got a name of its own leaves that copy beside the file:
// "storico.csv" and six letters or digits, the new header and then the start of the old lines
// (a kill found the file still in the old format, so this one upgrades it again). Nothing
// else is removed: a copy a parent keeps (storico.csv.backup) does not start that way.
void HistoryFile::removeKilledUpgrades(qsizetype oldHeader)
{
    const QFileInfo target(QFileInfo(m_path).canonicalFilePath());
    const QString prefix = target.fileName() + u'.';
    const QDir folder = target.dir();
    for (const QString &name : folder.entryList({prefix + u"??????"_s}, QDir::Files | QDir::Hidden)) {
        QFile left(folder.filePath(name));
        if (!left.open(QIODevice::ReadOnly) || !left.read(newHeader.size()).startsWith(newHeader))
            continue;
        bool same = true;
        QByteArray mine(1 << 16, Qt::Uninitialized);
        for (off_t at = off_t(oldHeader); same && !left.atEnd();) {
            const QByteArray theirs = left.read(mine.size());
            same = !theirs.isEmpty() && ::pread(m_fd, mine.data(), size_t(theirs.size()), at) == theirs.size()
                   && QByteArrayView(mine.constData(), theirs.size()) == theirs;
            at += theirs.size();
        }
        if (same)
            QFile::remove(left.fileName());
    }
}

// The new header, then the old lines untouched (they stay readable), written beside the file
// and put in its place while this file's lock is held: a game waiting to append takes the lock
// of the new file once it is there. A kill at any moment leaves the old file or the new one,
// whole. A history kept elsewhere through a symbolic link stays there.
bool HistoryFile::upgrade(qsizetype oldHeader)
{
    removeKilledUpgrades(oldHeader);
    QSaveFile copy(m_path);
    errno = 0;
    // Unbuffered: a write error must show at the write, not be lost at the commit.
    bool done = copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    int err = errno;
    done = done && copy.write(newHeader) == newHeader.size();
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (off_t at = off_t(oldHeader); done;) {
        const ssize_t n = ::pread(m_fd, chunk.data(), size_t(chunk.size()), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            done = n == 0;
            break;
        }
        errno = 0;
        done = copy.write(chunk.constData(), n) == n;
        at += n;
    }
    if (done) {
        errno = 0;
        done = copy.commit();
    }
    if (!done) {
        err = errno ? errno : err;
        copy.cancelWriting();
        m_upgradeFailure = QStringLiteral("%1: %2").arg(m_path, err ? historyErrorText(err) : copy.errorString());
    }
    return done;
}

bool HistoryFile::append(QByteArrayView data)
{
    if (m_fd < 0 && !open())
        return false;
    struct stat st {};
    const bool sized = ::fstat(m_fd, &st) == 0;
    if (writeAll(m_fd, data.data(), data.size()))
        return true;
    const int err = errno;
    // Under the lock the end is this write's own: cut what it left of itself. Unlocked, the
    // bytes after it may be another game's line.
    if (sized && m_locked)
        (void)::ftruncate(m_fd, st.st_size);
    return fail(historyErrorText(err));
}

bool HistoryFile::close()
{
    if (m_fd < 0)
        return true;
    const int closing = std::exchange(m_fd, -1);
    if (::close(closing) != 0 && errno != EINTR)
        return fail(historyErrorText(errno));
    return true;
}
