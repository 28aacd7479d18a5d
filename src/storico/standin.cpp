// Stand-in for the reader's summary, replaced wholesale by the real reader.
#include "storico/storico.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace {

struct Compact
{
    qint64 partita;
    qint64 ora;
    qint32 partitaOff;
    qint32 oraOff;
    qint32 name;   // index into names
    qint32 dopo;
    quint8 tab;
    quint8 fat;
    bool esatta;
};

struct FileState
{
    QString path;
    qint64 offset = 0;
    qint64 inode = -1;
    QByteArray pending;
    std::vector<Compact> entries;
    qint64 skipped = 0;
    bool sawBytes = false;
    QString error;
};

FileState fresh(const QString &path)
{
    FileState f;
    f.path = path;
    return f;
}

} // namespace

const FactStats &ChildReport::fact(int tabellina, int fattore) const
{
    return tables[size_t(tabellina - 2)][size_t(fattore - 1)];
}

QString childKey(const QString &name)
{
    return name.trimmed().toCaseFolded();
}

QStringList historyFilesIn(const QString &folder)
{
    QStringList out;
    const QDir dir(folder);
    for (const QString &f : dir.entryList({QStringLiteral("storico*.csv")}, QDir::Files, QDir::Name))
        out.append(dir.filePath(f));
    return out;
}

struct HistoryFollower::Impl
{
    std::vector<FileState> files;
    QStringList names;
    QHash<QString, int> nameIndex;

    int nameFor(const QString &n)
    {
        auto it = nameIndex.constFind(n);
        if (it != nameIndex.cend())
            return *it;
        names.append(n);
        nameIndex.insert(n, int(names.size() - 1));
        return int(names.size() - 1);
    }

    void take(FileState &fs, QByteArray data, bool atEnd)
    {
        data.prepend(fs.pending);
        fs.pending.clear();
        qsizetype last = std::max(data.lastIndexOf('\n'), data.lastIndexOf('\r'));
        if (!atEnd) {
            fs.pending = data.mid(last + 1);
            data.truncate(last + 1);
        }
        data.replace("\r\n", "\n");
        data.replace('\r', '\n');
        for (const QByteArray &lineBytes : data.split('\n')) {
            const QByteArrayView line(lineBytes);
            if (line.isEmpty())
                continue;
            fs.sawBytes = true;
            if (line == QByteArrayView(historyHeader)
                || line == "partita;ora;nome;fattore;risposta;esatta;millisecondi;tabellina;dopo_dettatura")
                continue;
            std::optional<HistoryEntry> e = decodeHistoryLine(line);
            int tab = 2;
            qint64 dopo = -1;
            if (!e) {
                const qsizetype s2 = line.lastIndexOf(';');
                const qsizetype s1 = s2 > 0 ? line.first(s2).lastIndexOf(';') : -1;
                if (s1 > 0) {
                    e = decodeHistoryLine(line.first(s1));
                    bool ok = false;
                    tab = line.sliced(s1 + 1, s2 - s1 - 1).toInt(&ok);
                    if (!ok || tab < 2 || tab > 10)
                        e.reset();
                    const QByteArrayView d = line.sliced(s2 + 1);
                    dopo = d.isEmpty() ? -1 : d.toLongLong(&ok);
                    if (!d.isEmpty() && !ok)
                        e.reset();
                }
            }
            if (!e) {
                ++fs.skipped;
                continue;
            }
            fs.entries.push_back({e->partita.toSecsSinceEpoch(), e->ora.toSecsSinceEpoch(), e->partita.offsetFromUtc(),
                                  e->ora.offsetFromUtc(), nameFor(e->nome),
                                  qint32(std::min<qint64>(dopo, INT32_MAX)), quint8(tab), quint8(e->fattore), e->esatta});
        }
    }

    void readFile(FileState &fs)
    {
        const QFileInfo info(fs.path);
        if (!info.exists())
            return;
        if (!info.isFile()) {
            fs.error = QStringLiteral("%1 non è un file").arg(fs.path);
            return;
        }
        const qint64 inode = qint64(info.fileTime(QFileDevice::FileBirthTime).toMSecsSinceEpoch());
        if (info.size() < fs.offset || (fs.inode != -1 && inode != fs.inode)) {
            fs = fresh(fs.path);
        }
        fs.inode = inode;
        if (info.size() == fs.offset)
            return;
        QFile file(fs.path);
        if (!file.open(QIODevice::ReadOnly)) {
            fs.error = QStringLiteral("impossibile leggere %1: %2").arg(fs.path, file.errorString());
            return;
        }
        file.seek(fs.offset);
        const QByteArray data = file.readAll();
        fs.offset += data.size();
        take(fs, data, false);
    }

    HistorySummary summarize()
    {
        HistorySummary summary;
        std::vector<Compact> all;
        bool sawBytes = false;
        for (FileState &fs : files) {
            if (QFileInfo::exists(fs.path))
                summary.exists = true;
            summary.skipped += fs.skipped;
            if (!fs.error.isEmpty())
                summary.error = fs.error;
            all.insert(all.end(), fs.entries.begin(), fs.entries.end());
            sawBytes |= fs.sawBytes;
            // what is pending at the end counts as a line too
            if (!fs.pending.isEmpty()) {
                FileState copy = fresh(fs.path);
                take(copy, fs.pending, true);
                all.insert(all.end(), copy.entries.begin(), copy.entries.end());
                summary.skipped += copy.skipped;
                sawBytes = true;
            }
        }
        std::stable_sort(all.begin(), all.end(), [](const Compact &a, const Compact &b) { return a.ora < b.ora; });
        summary.entries = qint64(all.size());
        summary.notHistory = sawBytes && all.empty() && summary.skipped > 0;
        struct Ring { std::array<FactAnswer, 10> a; int n = 0; int at = 0; std::array<qint64, 10> t; int tn = 0; int tat = 0; };
        struct ChildWork { ChildReport report; QHash<qint64, int> games; std::vector<Ring> rings = std::vector<Ring>(90); qint64 lastOra = 0; };
        QHash<QString, ChildWork> work;
        for (const Compact &c : all) {
            const QString &nome = names[c.name];
            ChildWork &w = work[childKey(nome)];
            if (c.ora >= w.lastOra) {
                w.lastOra = c.ora;
                w.report.name = nome.trimmed();
            }
            auto g = w.games.constFind(c.partita);
            int gi;
            if (g == w.games.cend()) {
                gi = int(w.report.games.size());
                w.games.insert(c.partita, gi);
                GameSummary s;
                s.started = QDateTime::fromSecsSinceEpoch(c.partita, Qt::OffsetFromUTC, c.partitaOff);
                s.tabellina = c.tab;
                w.report.games.append(s);
            } else {
                gi = *g;
            }
            GameSummary &gs = w.report.games[gi];
            if (gs.tabellina != c.tab)
                gs.tabellina = 0;
            (c.esatta ? gs.right : gs.wrong) += 1;
            FactStats &fs = w.report.tables[size_t(c.tab - 2)][size_t(c.fat - 1)];
            fs.answers += 1;
            fs.right += c.esatta;
            Ring &r = w.rings[size_t((c.tab - 2) * 10 + c.fat - 1)];
            r.a[size_t(r.at)] = {c.esatta, c.dopo};
            r.at = (r.at + 1) % 10;
            r.n = std::min(r.n + 1, 10);
            if (c.dopo >= 0) {
                r.t[size_t(r.tat)] = c.dopo;
                r.tat = (r.tat + 1) % 10;
                r.tn = std::min(r.tn + 1, 10);
            }
            const QDate day = QDate::fromJulianDay(2440588 + (c.ora + c.oraOff) / 86400);
            if (fs.timeline.isEmpty() || fs.timeline.last().day != day)
                fs.timeline.append({day, 0, 0});
            fs.timeline.last().answers += 1;
            fs.timeline.last().right += c.esatta;
        }
        for (auto it = work.begin(); it != work.end(); ++it) {
            ChildWork &w = *it;
            std::stable_sort(w.report.games.begin(), w.report.games.end(),
                             [](const GameSummary &a, const GameSummary &b) { return a.started < b.started; });
            if (!w.report.games.isEmpty())
                w.report.lastGame = w.report.games.last().started;
            for (int i = 0; i < 90; ++i) {
                Ring &r = w.rings[size_t(i)];
                FactStats &fs = w.report.tables[size_t(i / 10)][size_t(i % 10)];
                std::vector<FactAnswer> last;
                for (int k = 0; k < r.n; ++k)
                    last.push_back(r.a[size_t((r.at - r.n + k + 10) % 10)]);
                fs.state = judgeFact(last);
                if (r.tn > 0) {
                    std::vector<qint64> t(r.t.begin(), r.t.begin() + r.tn);
                    std::sort(t.begin(), t.end());
                    fs.medianMs = t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
                }
            }
            summary.children.insert(it.key(), w.report);
        }
        QCollator collator{QLocale(QLocale::Italian, QLocale::Italy)};
        QStringList keys = summary.children.keys();
        std::sort(keys.begin(), keys.end(), [&](const QString &a, const QString &b) {
            return collator.compare(summary.children[a].name, summary.children[b].name) < 0;
        });
        summary.names = keys;
        return summary;
    }
};

HistoryFollower::HistoryFollower(QStringList paths)
    : m_impl(std::make_unique<Impl>())
{
    setPaths(std::move(paths));
}

HistoryFollower::~HistoryFollower() = default;

void HistoryFollower::setPaths(QStringList paths)
{
    std::vector<FileState> kept;
    for (const QString &p : paths) {
        auto it = std::find_if(m_impl->files.begin(), m_impl->files.end(), [&](const FileState &f) { return f.path == p; });
        kept.push_back(it != m_impl->files.end() ? std::move(*it) : fresh(p));
    }
    m_impl->files = std::move(kept);
}

HistorySummary HistoryFollower::refresh()
{
    for (FileState &fs : m_impl->files)
        m_impl->readFile(fs);
    return m_impl->summarize();
}

HistorySummary readHistoryFiles(const QStringList &paths)
{
    return HistoryFollower(paths).refresh();
}

HistorySummary readHistory(const QString &path)
{
    return readHistoryFiles({path});
}
