#include "storico/classcopy.h"

#include "storico/historyformat.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace historyformat;

namespace {

constexpr qint64 chunk = qint64(1) << 20;
// The copy's and the local history's last bytes looked at first: most catch-ups find their
// place there.
constexpr qint64 lastBytes = qint64(1) << 16;

// [from, to) of fd into out; false with errno set on failure.
bool readRange(int fd, qint64 from, qint64 to, QByteArray &out)
{
    out.resize(to - from);
    qint64 held = 0;
    while (held < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + held, size_t(out.size() - held), off_t(from + held));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;  // shorter than it said: changed under the reading
            return false;
        }
        held += n;
    }
    return true;
}

// Where the first whole line starts in bytes read from the middle of a file.
qsizetype firstLineStart(const QByteArray &bytes, bool fromStart)
{
    if (fromStart)
        return 0;
    const qsizetype lf = bytes.indexOf('\n');
    const qsizetype cr = bytes.indexOf('\r');
    const qsizetype stop = lf < 0 ? cr : cr < 0 ? lf : std::min(lf, cr);
    return stop < 0 ? bytes.size() : stop + 1;
}

// The lines of bytes up to the last line ending: the game appends whole lines, so up to there
// a quote never closed is a line torn by a crash, not a name going on in lines still to come.
QByteArrayView wholeLines(QByteArrayView bytes)
{
    qsizetype whole = bytes.size();
    while (whole > 0 && bytes[whole - 1] != '\n' && bytes[whole - 1] != '\r')
        --whole;
    return bytes.first(whole);
}

// Calls take(begin, record, end) for each answer of fd between from and to, end being the
// file offset just past the record; a line still without its line ending at to is left.
// Reads a chunk at a time. Returns the offset it got to, -1 with errno set when the file
// cannot be read.
template<typename Take>
qint64 walkFile(int fd, qint64 from, qint64 to, Take take)
{
    RecordWalker walker(from == 0);
    QByteArray buffer;
    qint64 at = from;  // the file offset of buffer's first byte
    while (at + buffer.size() < to) {
        const qint64 held = buffer.size();
        const qint64 wanted = std::min(chunk, to - at - held);
        QByteArray piece;
        if (!readRange(fd, at + held, at + held + wanted, piece))
            return -1;
        buffer += piece;
        const bool last = at + buffer.size() == to;
        const QByteArrayView view = last ? wholeLines(buffer) : QByteArrayView(buffer);
        const char *base = buffer.constData();
        const qsizetype walked = walker.walk(view, last, [&](const char *p, const Record &r, const RawEntry &) {
            take(p, r, at + (r.next - base));
        });
        buffer.remove(0, walked);
        at += walked;
    }
    return at;
}

// Calls take(begin, record, end) for each answer among the last `window` bytes of fd, from
// the first line that starts there; false with errno set when fd cannot be read.
template<typename Take>
bool walkTail(int fd, qint64 size, qint64 window, Take take)
{
    const qint64 from = std::max<qint64>(0, size - window);
    QByteArray bytes;
    if (!readRange(fd, from, size, bytes))
        return false;
    const char *base = bytes.constData();
    RecordWalker walker(from == 0);
    walker.walk(wholeLines(QByteArrayView(bytes).sliced(firstLineStart(bytes, from == 0))), true,
                [&](const char *p, const Record &r, const RawEntry &) { take(p, r, from + (r.next - base)); });
    return true;
}

} // namespace

qint64 classCopyLacksFrom(int local, qint64 localSize, int copy, qint64 copySize)
{
    // The copy's last answers, as copied.
    QSet<QByteArray> last;
    for (qint64 window = lastBytes; last.isEmpty(); window *= 4) {
        const auto keep = [&](const char *p, const Record &r, qint64) { last.insert(copiedRecord(p, r)); };
        if (!walkTail(copy, copySize, window, keep))
            return -1;
        if (window >= copySize)
            break;
    }
    if (last.isEmpty())
        return 0;

    // The last of them in the local history: at its end, as a rule; else anywhere in it.
    qint64 found = -1;
    const auto look = [&](const char *p, const Record &r, qint64 end) {
        if (last.contains(copiedRecord(p, r)))
            found = end;
    };
    if (!walkTail(local, localSize, lastBytes, look))
        return -1;
    if (found < 0 && localSize > lastBytes && walkFile(local, 0, localSize, look) < 0)
        return -1;
    return std::max<qint64>(found, 0);
}

ClassCopy::ClassCopy(QString localPath, QString copyPath)
    : m_localPath(std::move(localPath))
    , m_copy(std::move(copyPath), HistoryFile::Place::Shared)
{
}

bool ClassCopy::fail(const QString &reason)
{
    m_reason = reason;
    m_copy.close();
    m_copyLeft = {};
    m_localLeft = {};
    return false;
}

bool ClassCopy::catchUp()
{
    const int local = ::open(QFile::encodeName(m_localPath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (local < 0)
        return errno == ENOENT ? true : fail(QStringLiteral("%1: %2").arg(m_localPath, historyErrorText(errno)));
    struct stat st {};
    const bool readable = ::fstat(local, &st) == 0 && S_ISREG(st.st_mode);
    const Mark localNow{st.st_dev, st.st_ino, st.st_size};
    // Nothing written here since the last catch-up: the copy need not even be looked at.
    if (readable && localNow == m_localLeft) {
        ::close(local);
        return true;
    }
    qint64 done = 0;
    const bool copied = readable && copyFrom(local, lackingFrom(local, st.st_size), st.st_size, done);
    ::close(local);
    if (!readable)
        return fail(QStringLiteral("%1: non è un file normale").arg(m_localPath));
    if (!copied)
        return false;
    struct stat left {};
    if (::fstat(m_copy.handle(), &left) != 0)
        return fail(QStringLiteral("%1: %2").arg(m_copy.path(), historyErrorText(errno)));
    if (!m_copy.close())
        return fail(QStringLiteral("%1: %2").arg(m_copy.path(), m_copy.reason()));
    m_copyLeft = {left.st_dev, left.st_ino, left.st_size};
    m_localLeft = {localNow.dev, localNow.ino, done};
    return true;
}

// Opens the copy (the lock keeps two games of this account from catching up at once) and
// finds where the local history's answers it lacks begin: where the last catch-up left off
// when the copy is as it was left, else from the copy's last answers.
qint64 ClassCopy::lackingFrom(int local, qint64 localSize)
{
    if (!m_copy.open()) {
        fail(QStringLiteral("%1: %2").arg(m_copy.path(), m_copy.reason()));
        return -1;
    }
    struct stat st {};
    if (::fstat(m_copy.handle(), &st) != 0) {
        fail(QStringLiteral("%1: %2").arg(m_copy.path(), historyErrorText(errno)));
        return -1;
    }
    struct stat localSt {};
    ::fstat(local, &localSt);
    if (Mark{st.st_dev, st.st_ino, st.st_size} == m_copyLeft && localSt.st_dev == m_localLeft.dev
        && localSt.st_ino == m_localLeft.ino && m_localLeft.size <= localSize)
        return m_localLeft.size;
    const qint64 from = classCopyLacksFrom(local, localSize, m_copy.handle(), st.st_size);
    if (from < 0)
        fail(QStringLiteral("%1: %2").arg(m_copy.path(), historyErrorText(errno)));
    return from;
}

// Appends the answers of the local history from `from` on, a piece at a time; done: how far
// the local history was gone through (up to its last whole line).
bool ClassCopy::copyFrom(int local, qint64 from, qint64 localSize, qint64 &done)
{
    if (from < 0)
        return false;
    done = from;
    QByteArray out;
    qint64 outEnd = from;
    bool written = true;
    const auto flush = [&] {
        if (written && !out.isEmpty()) {
            written = m_copy.append(out);
            if (written)
                done = outEnd;
        }
        out.clear();
    };
    const qint64 walked = walkFile(local, from, localSize, [&](const char *p, const Record &r, qint64 end) {
        if (!written)
            return;
        out += copiedRecord(p, r);
        out += "\r\n";
        outEnd = end;
        if (out.size() >= lastBytes)
            flush();
    });
    const int readError = errno;
    flush();
    if (!written)
        return fail(QStringLiteral("%1: %2").arg(m_copy.path(), m_copy.reason()));
    if (walked < 0)
        return fail(QStringLiteral("%1: %2").arg(m_localPath, historyErrorText(readError)));
    // Lines passed by after the last answer (damaged ones, a header) need no looking at again.
    done = walked;
    return true;
}
