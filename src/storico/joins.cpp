#include "storico/joins.h"

#include "storico/historyformat.h"
#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace historyformat;

namespace {

// A joins file is a few lines; anything this long is not one.
constexpr qint64 largestJoinsFile = qint64(1) << 20;

QString why()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString joinsFileIn(const QString &folder)
{
    return QDir(folder).filePath(QLatin1String(joinsFileName));
}

QString NameJoins::resolve(const QString &key) const
{
    QString at = key;
    for (qsizetype steps = 0; steps <= m_joins.size(); ++steps) {
        const auto join = m_joins.constFind(at);
        if (join == m_joins.cend())
            return at;
        at = join->targetKey;
    }
    return key;
}

QString NameJoins::nameOf(const QString &key) const
{
    for (const Join &join : m_joins)
        if (join.targetKey == key)
            return join.target;
    return {};
}

void NameJoins::join(const QString &name, const QString &target)
{
    const QString key = childKey(name);
    const QString targetKey = childKey(target);
    if (key.isEmpty() || targetKey.isEmpty() || key == targetKey)
        return;
    m_joins.insert(key, {name.trimmed(), target.trimmed(), targetKey});
}

bool NameJoins::separate(const QString &key)
{
    QStringList joined;
    for (auto it = m_joins.cbegin(); it != m_joins.cend(); ++it)
        if (resolve(it.key()) == key)
            joined.append(it.key());
    for (const QString &k : std::as_const(joined))
        m_joins.remove(k);
    return !joined.isEmpty();
}

QByteArray NameJoins::toFile() const
{
    // In the order of the keys, so that the same joins always make the same file.
    QStringList keys = m_joins.keys();
    std::sort(keys.begin(), keys.end());
    QByteArray out = QByteArray(joinsHeader) + "\r\n";
    for (const QString &key : std::as_const(keys)) {
        const Join &join = m_joins[key];
        appendField(out, join.name.toUtf8());
        out.append(';');
        appendField(out, join.target.toUtf8());
        out.append("\r\n");
    }
    return out;
}

NameJoins NameJoins::fromFile(QByteArrayView content, qint64 *skipped)
{
    NameJoins joins;
    qint64 bad = 0;
    const char *p = content.data();
    const char *const end = p + content.size();
    if (content.startsWith("\xEF\xBB\xBF"))
        p += 3;
    while (p < end) {
        if (*p == '\n' || *p == '\r') {
            ++p;
            continue;
        }
        Record record;
        const char *const start = p;
        if (scanFields(p, end, true, record) == Scan::Complete && record.count == 2) {
            p = record.next;
            const QString name = textOf(record.fields[0].text());
            const QString target = textOf(record.fields[1].text());
            if (QByteArrayView(start, p - start).trimmed() == joinsHeader)
                continue;
            const QString key = childKey(name);
            const QString targetKey = childKey(target);
            if (!key.isEmpty() && !targetKey.isEmpty() && key != targetKey) {
                joins.m_joins.insert(key, {name.trimmed(), target.trimmed(), targetKey});
                continue;
            }
        } else {
            // Skip the line the damage is on, and nothing after it.
            while (p < end && *p != '\n' && *p != '\r')
                ++p;
        }
        ++bad;
    }
    if (skipped)
        *skipped = bad;
    return joins;
}

JoinsRead readJoins(const QString &path)
{
    JoinsRead read;
    QFile file(path);
    if (!file.exists())
        return read;
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("impossibile leggere %1: %2").arg(path, file.errorString());
        return read;
    }
    if (file.size() > largestJoinsFile) {
        read.error = QStringLiteral("%1 è troppo grande per essere un elenco di nomi uniti").arg(path);
        return read;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.error = QStringLiteral("impossibile leggere %1: %2").arg(path, file.errorString());
        return read;
    }
    read.joins = NameJoins::fromFile(content, &read.skipped);
    return read;
}

QString writeJoins(const QString &path, const NameJoins &joins)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode))
            return QStringLiteral("%1 è un collegamento simbolico: non lo seguo").arg(path);
        if (!S_ISREG(info.st_mode))
            return QStringLiteral("%1 non è un file").arg(path);
        if (info.st_uid != ::geteuid())
            return QStringLiteral("%1 appartiene a un altro utente: non lo cambio").arg(path);
    } else if (errno != ENOENT) {
        return QStringLiteral("impossibile leggere %1: %2").arg(path, why());
    }

    // QSaveFile follows a symbolic link at its name and replaces the link's target. So the
    // file is made whole in a folder of this account's own, where no other account can
    // plant anything, and then renamed over the name: a rename replaces whatever stands
    // there, a link included, and never follows it.
    const QString folder = QFileInfo(path).absolutePath();
    QTemporaryDir own(QDir(folder).filePath(QStringLiteral(".nomi-uniti-XXXXXX")));
    if (!own.isValid())
        return QStringLiteral("impossibile scrivere nella cartella %1: %2").arg(folder, own.errorString());
    const QString made = own.filePath(QLatin1String(joinsFileName));
    QSaveFile file(made);
    const QByteArray content = joins.toFile();
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return QStringLiteral("impossibile scrivere %1: %2").arg(path, file.errorString());
    // Other accounts of the lab read the joins too.
    QFile::setPermissions(made, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (::rename(QFile::encodeName(made).constData(), name.constData()) != 0)
        return QStringLiteral("impossibile scrivere %1: %2").arg(path, why());
    return {};
}

bool JoinsFile::refresh()
{
    if (m_path.isEmpty())
        return false;
    struct stat info;
    const bool there = ::stat(QFile::encodeName(m_path).constData(), &info) == 0;
    if (!there && errno != ENOENT) {
        // Out of reach for now (a network folder): the joins read stay.
        const QString error = QStringLiteral("impossibile leggere %1: %2").arg(m_path, why());
        m_read.error = error;
        return false;
    }
    const qint64 size = there ? qint64(info.st_size) : -1;
    const qint64 mtimeNs = there ? qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec : 0;
    if (m_checked && size == m_size && (!there || (info.st_dev == m_dev && info.st_ino == m_ino && mtimeNs == m_mtimeNs))
        && m_read.error.isEmpty())
        return false;
    m_checked = true;
    m_size = size;
    m_mtimeNs = mtimeNs;
    m_dev = there ? info.st_dev : 0;
    m_ino = there ? info.st_ino : 0;
    JoinsRead read = there ? readJoins(m_path) : JoinsRead();
    const bool changed = !(read.joins == m_read.joins);
    m_read = std::move(read);
    return changed;
}
