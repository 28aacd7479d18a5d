#include "storico/historystats.h"
#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace historyformat;

namespace {

// Reads the records of one file as they come, chunk after chunk, and hands each answer to
// the statistics (which may gather many files).
class LineReader final
{
public:
    qsizetype feed(QByteArrayView data, bool atEnd, HistoryStats &stats);
    qint64 skipped() const { return m_walker.skipped(); }
    qint64 historyLines() const { return m_walker.historyLines(); }
    // The first answer read, as a class copy holds it; empty before one is.
    const QByteArray &firstAnswer() const { return m_first; }
    // From the answer *cutAt on (copiedRecord()), nothing more is counted: the rest of this
    // class copy is read from the history it copies. cutAt is looked at as it stands at each
    // answer; empty cuts nothing.
    void cutAt(const QByteArray *answer) { m_cutAt = answer; }

private:
    RecordWalker m_walker;
    QByteArray m_first;
    const QByteArray *m_cutAt = nullptr;
    bool m_cut = false;
};

qsizetype LineReader::feed(QByteArrayView data, bool atEnd, HistoryStats &stats)
{
    return m_walker.walk(data, atEnd, [&](const char *p, const Record &record, const RawEntry &entry) {
        if (m_first.isEmpty())
            m_first = copiedRecord(p, record);
        m_cut = m_cut || (m_cutAt && !m_cutAt->isEmpty() && isCopiedRecord(p, record, *m_cutAt));
        if (!m_cut)
            stats.add(record.fields[2], entry);
    });
}

QString errorJoin(const QString &errors, const QString &error)
{
    return errors.isEmpty() ? error : errors + u'\n' + error;
}

// Keeps, for each file followed, how far it was read and what it was, so that a refresh reads
// only what was appended; a file that shrank, vanished or was replaced makes the whole class
// be read again, since its answers are mixed into the children's counts.
class Follower
{
public:
    Follower(HistorySources sources, bool once)
        : m_sources(std::move(sources))
        , m_once(once)
        , m_joins(m_sources.joinsFile)
    {
        if (!m_sources.classFolder.isEmpty() && !m_sources.ownHistory.isEmpty())
            m_copy = QDir(m_sources.classFolder).filePath(classHistoryFileName());
    }
    void setPaths(QStringList paths) { m_sources = {std::move(paths), {}, {}, m_sources.joinsFile}; }
    HistorySummary refresh();

private:
    struct File
    {
        explicit File(const QString &p)
            : path(p)
        {
        }
        QString path;
        bool exists = false;
        QString error;
        dev_t dev = 0;
        ino_t ino = 0;
        qint64 seen = 0;    // bytes up to the end when last read
        qint64 mtimeNs = 0;
        qint64 taken = 0;   // bytes the reader took; the rest is read again next time
        QByteArray tail;    // the last bytes taken, to notice a file rewritten in place
        LineReader reader;
    };
    enum class Read { Unchanged, Changed, Inconsistent };

    QStringList expandedPaths();
    bool classFolderReached(const QByteArray &name, const struct stat &info);
    Read readMore(File &file);

    HistorySources m_sources;
    QHash<QString, QStringList> m_folders;  // the files last found in the folders among the paths
    QDateTime m_outOfReach;                 // since when the class folder could not be reached
    dev_t m_classDevice = 0;                // where the class folder's files were last found
    QString m_copy;                         // this computer's copy in the class folder
    QByteArray m_ownFirst;                  // the first answer of this computer's own history
    bool m_once = false;
    JoinsFile m_joins;
    bool m_rejoin = false;  // the joins changed since the class was last read with them
    std::vector<File> m_files;
    HistoryStats m_stats;
    HistorySummary m_summary;
    bool m_summarised = false;
    QByteArray m_buffer;
};

// A class folder is reached when it can be listed and holds history files, or holds none but
// is where its files were found before: an empty folder on another device is the mount point
// of a network folder that dropped out, not a class whose files were all deleted.
bool Follower::classFolderReached(const QByteArray &name, const struct stat &info)
{
    if (!S_ISDIR(info.st_mode) || ::access(name.constData(), R_OK | X_OK) != 0)
        return false;
    const QString folder = m_sources.classFolder;
    const QStringList files = historyFilesIn(folder);
    if (files.isEmpty() && m_folders.contains(folder) && !m_folders.value(folder).isEmpty()
        && info.st_dev != m_classDevice)
        return false;
    m_folders.insert(folder, files);
    if (!files.isEmpty())
        m_classDevice = info.st_dev;
    return true;
}

QStringList Follower::expandedPaths()
{
    QStringList paths;
    // This computer's own history first: its first answer tells where its copy's answers
    // stop counting.
    if (!m_sources.ownHistory.isEmpty())
        paths.append(m_sources.ownHistory);
    for (const QString &path : m_sources.paths) {
        const QByteArray name = QFile::encodeName(path);
        struct stat info;
        if (path == m_sources.classFolder) {
            if (::stat(name.constData(), &info) == 0 && classFolderReached(name, info)) {
                m_outOfReach = QDateTime();
            } else if (!m_outOfReach.isValid()) {
                m_outOfReach = QDateTime::currentDateTime();
            }
            paths += m_folders.value(path);
            continue;
        }
        if (::stat(name.constData(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) {
                // A folder that cannot be listed for now keeps its files as they were.
                if (::access(name.constData(), R_OK | X_OK) == 0 || !m_folders.contains(path))
                    m_folders.insert(path, historyFilesIn(path));
                paths += m_folders.value(path);
                continue;
            }
            m_folders.remove(path);
        } else if (errno != ENOENT && errno != ENOTDIR && m_folders.contains(path)) {
            paths += m_folders.value(path);  // a folder out of reach for now: its files as they were
            continue;
        }
        paths.append(path);
    }
    paths.removeDuplicates();
    return paths;
}

Follower::Read Follower::readMore(File &file)
{
    constexpr qint64 tailSize = 32;
    const QByteArray name = QFile::encodeName(file.path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0) {
        // Gone: its answers go with it. Out of reach for now (a network folder): what was
        // read of it stays.
        if (errno == ENOENT || errno == ENOTDIR) {
            file.exists = false;
            file.error.clear();
            return file.taken > 0 ? Read::Inconsistent : Read::Unchanged;
        }
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        file.error = QStringLiteral("impossibile leggere %1: %2").arg(file.path, why);
        return Read::Unchanged;
    }
    file.exists = true;
    // A folder, a pipe or a device is no history: reading one could block or never end.
    if (!S_ISREG(info.st_mode)) {
        file.error = QStringLiteral("%1 non è un file").arg(file.path);
        return file.taken > 0 ? Read::Inconsistent : Read::Unchanged;
    }
    const qint64 mtimeNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    const bool sameFile = info.st_dev == file.dev && info.st_ino == file.ino;
    if (file.taken > 0 && (!sameFile || info.st_size < file.taken))
        return Read::Inconsistent;
    if (sameFile && info.st_size == file.seen && mtimeNs == file.mtimeNs && file.error.isEmpty())
        return Read::Unchanged;

    QFile handle(file.path);
    if (!handle.open(QIODevice::ReadOnly)) {
        file.error = QStringLiteral("impossibile leggere %1: %2").arg(file.path, handle.errorString());
        return Read::Unchanged;
    }
    file.error.clear();
    struct stat opened;
    if (::fstat(handle.handle(), &opened) != 0
        || (file.taken > 0 && (opened.st_dev != file.dev || opened.st_ino != file.ino)))
        return Read::Inconsistent;
    file.dev = opened.st_dev;
    file.ino = opened.st_ino;
    file.mtimeNs = qint64(opened.st_mtim.tv_sec) * 1000000000 + opened.st_mtim.tv_nsec;
    if (file.taken > 0) {
        const qint64 from = file.taken - file.tail.size();
        if (!handle.seek(from) || handle.read(file.tail.size()) != file.tail)
            return Read::Inconsistent;
    } else if (!handle.seek(0)) {
        return Read::Inconsistent;
    }

    // A chunk and the longest record, so that each feed takes at least a chunk; less for what
    // a refresh mostly finds, a line or two.
    constexpr qsizetype largest = (qsizetype(1) << 20) + longestRecord + 1;
    const qint64 unread = qint64(opened.st_size) - file.taken;
    const qsizetype wanted = unread + 4096 < largest ? qsizetype(std::max<qint64>(unread, 0)) + 4096 : largest;
    if (m_buffer.size() < wanted)
        m_buffer.resize(wanted);
    qsizetype held = 0;
    qint64 takenNow = 0;
    for (;;) {
        if (held == m_buffer.size() && held < largest)
            m_buffer.resize(largest);  // the file grew while being read
        const qint64 n = handle.read(m_buffer.data() + held, m_buffer.size() - held);
        const bool atEnd = n <= 0;
        if (n > 0)
            held += n;
        qsizetype whole = held;
        bool final = atEnd && m_once;
        if (atEnd && !m_once) {
            // Up to the last line ending, the lines are read as at the end of the file: the
            // game appends whole lines, so a quote never closed there is a line torn by a
            // crash, not a name going on in lines still to come (which would hold back every
            // answer appended after it). The rest waits for its line ending.
            while (whole > 0 && m_buffer.constData()[whole - 1] != '\n' && m_buffer.constData()[whole - 1] != '\r')
                --whole;
            final = true;
        }
        const qsizetype taken =
            whole > 0 ? file.reader.feed(QByteArrayView(m_buffer.constData(), whole), final, m_stats) : 0;
        if (taken >= tailSize)
            file.tail = QByteArray(m_buffer.constData() + taken - tailSize, tailSize);
        else if (taken > 0)
            file.tail = (file.tail + QByteArray(m_buffer.constData(), taken)).right(tailSize);
        takenNow += taken;
        std::memmove(m_buffer.data(), m_buffer.constData() + taken, size_t(held - taken));
        held -= taken;
        if (atEnd)
            break;
    }
    file.taken += takenNow;
    file.seen = file.taken + held;
    if (handle.error() != QFileDevice::NoError)
        file.error = QStringLiteral("lettura interrotta di %1: %2").arg(file.path, handle.errorString());
    return takenNow > 0 ? Read::Changed : Read::Unchanged;
}

HistorySummary Follower::refresh()
{
    const QStringList paths = expandedPaths();
    // A file no longer followed takes its answers with it: read the class again.
    bool again = false;
    for (const File &file : m_files) {
        if (!paths.contains(file.path) && file.taken > 0)
            again = true;
    }
    std::vector<File> files;
    files.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        auto found = std::find_if(m_files.begin(), m_files.end(), [&](const File &f) { return f.path == path; });
        files.push_back(found != m_files.end() ? std::move(*found) : File(path));
    }
    m_files = std::move(files);
    // Joins that changed move answers from child to child: the class is read again (when the
    // class folder is back, if it is away).
    m_rejoin = m_joins.refresh() || m_rejoin;
    again = again || m_rejoin;

    // A class folder out of reach: what was read of its files stays as it was, and a reading
    // of everything again waits until the folder is back.
    const bool away = m_outOfReach.isValid();
    const QStringList kept = away ? m_folders.value(m_sources.classFolder) : QStringList();
    bool changed = !m_summarised;
    for (int pass = 0; pass < 2 && !(again && away); ++pass) {
        if (again) {
            m_stats = HistoryStats(m_joins.read().joins);
            m_rejoin = false;
            for (File &file : m_files)
                file = File(file.path);
            m_ownFirst.clear();
            changed = true;
        }
        again = false;
        for (File &file : m_files) {
            if (kept.contains(file.path))
                continue;
            if (file.path == m_copy)
                file.reader.cutAt(&m_ownFirst);
            const Read read = readMore(file);
            if (read == Read::Inconsistent) {
                again = true;
                break;
            }
            changed = changed || read == Read::Changed;
            if (file.path == m_sources.ownHistory)
                m_ownFirst = file.reader.firstAnswer();
        }
        if (!again || away)
            break;
    }
    if (!m_once && m_buffer.size() > 0)
        m_buffer = QByteArray();  // a follower waits long between refreshes: hold no chunk

    if (changed)
        m_summary = m_stats.summary();
    m_summarised = true;
    HistorySummary summary = m_summary;
    summary.exists = false;
    summary.skipped = 0;
    qint64 historyLines = 0;
    for (const File &file : m_files) {
        summary.exists = summary.exists || file.exists;
        summary.skipped += file.reader.skipped();
        if (file.reader.skipped() > 0)
            summary.skippedIn.insert(file.path, file.reader.skipped());
        historyLines += file.reader.historyLines();
        if (!file.error.isEmpty())
            summary.error = errorJoin(summary.error, file.error);
    }
    if (m_joins.read().skipped > 0)
        summary.skippedIn.insert(m_joins.path(), m_joins.read().skipped);
    if (!m_joins.read().error.isEmpty())
        summary.error = errorJoin(summary.error, m_joins.read().error);
    summary.notHistory = historyLines == 0 && summary.skipped > 0;
    summary.outOfReach = m_outOfReach;
    return summary;
}

} // namespace

class HistoryFollower::Impl final : public Follower
{
public:
    using Follower::Follower;
};

HistoryFollower::HistoryFollower(QStringList paths, QString joinsFile)
    : HistoryFollower(HistorySources{std::move(paths), {}, {}, std::move(joinsFile)})
{
}

HistoryFollower::HistoryFollower(HistorySources sources)
    : m_impl(std::make_unique<Impl>(std::move(sources), false))
{
}

HistoryFollower::~HistoryFollower() = default;

void HistoryFollower::setPaths(QStringList paths)
{
    m_impl->setPaths(std::move(paths));
}

HistorySummary HistoryFollower::refresh()
{
    return m_impl->refresh();
}

HistorySummary readHistoryFiles(const QStringList &paths, const QString &joinsFile)
{
    return readHistoryFiles(HistorySources{paths, {}, {}, joinsFile});
}

HistorySummary readHistoryFiles(const HistorySources &sources)
{
    return Follower(sources, true).refresh();
}

HistorySources classSources(const QString &classFolder, const QString &ownHistory)
{
    return {{classFolder, ownHistory}, classFolder, ownHistory, joinsFileIn(classFolder)};
}

QStringList historyFilesIn(const QString &folder)
{
    const QDir dir(folder);
    QStringList paths;
    for (const QString &name : dir.entryList({QStringLiteral("storico*.csv")}, QDir::Files, QDir::Name))
        paths.append(dir.filePath(name));
    return paths;
}

HistorySummary readHistory(const QString &path)
{
    if (QFileInfo(path).isDir()) {
        HistorySummary summary;
        summary.exists = true;
        summary.error = QStringLiteral("%1 non è un file").arg(path);
        return summary;
    }
    return readHistoryFiles({path});
}

class HistoryReader::Impl final
{
public:
    LineReader reader;
    HistoryStats stats;
};

HistoryReader::HistoryReader()
    : m_impl(std::make_unique<Impl>())
{
}

HistoryReader::~HistoryReader() = default;

qsizetype HistoryReader::feed(QByteArrayView data, bool atEnd)
{
    return m_impl->reader.feed(data, atEnd, m_impl->stats);
}

HistorySummary HistoryReader::finish()
{
    HistorySummary summary = m_impl->stats.summary();
    summary.skipped = m_impl->reader.skipped();
    summary.notHistory = m_impl->reader.historyLines() == 0 && summary.skipped > 0;
    return summary;
}

HistorySummary summarizeHistory(QByteArrayView content)
{
    HistoryReader reader;
    reader.feed(content, true);
    return reader.finish();
}
