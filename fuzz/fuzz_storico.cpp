// The history reader: any bytes give a summary that adds up, the same whether the bytes come
// whole or in pieces, with any of the three line endings, or followed as a growing file and a
// new one; and a line that decodes encodes to one that decodes to the same answer; never a
// crash, a leak, undefined behaviour or a hang.
#include "storico/storico.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "history summary: %s\n", what);
    std::abort();
}

void checkFact(const FactStats &fact)
{
    const FactEvidence &evidence = fact.evidence;
    if (fact.right < 0 || fact.right > fact.answers || evidence.right < 0 || evidence.right > evidence.answers
        || evidence.answers != std::min(fact.answers, factWindow) || evidence.medianMs < -1)
        fail("a fact's counts do not hold together");
    if (fact.state != judgeFact(evidence))
        fail("a fact's state is not the verdict of the figures shown beside it");
    if (fact.answers < 3 && fact.state != FactState::Nuovo)
        fail("a fact judged on fewer than three answers");
    qint64 answers = 0;
    qint64 right = 0;
    for (qsizetype d = 0; d < fact.timeline.size(); ++d) {
        const FactPoint &point = fact.timeline[d];
        if (!point.day.isValid() || point.answers <= 0 || point.right < 0 || point.right > point.answers
            || (d > 0 && fact.timeline[d - 1].day >= point.day))
            fail("a fact's timeline does not hold together");
        answers += point.answers;
        right += point.right;
    }
    if (answers != fact.answers || right != fact.right)
        fail("a fact's timeline does not add up to its counts");
}

void checkSums(const HistorySummary &s)
{
    if (!s.exists || s.entries < 0 || s.skipped < 0)
        fail("bad counts");
    if (s.notHistory && (s.entries > 0 || s.skipped == 0))
        fail("not a history, yet answers read or nothing skipped");
    if (s.names.size() != s.children.size())
        fail("names and children differ");
    static const QCollator italian{QLocale(QLocale::Italian, QLocale::Italy)};
    qint64 answers = 0;
    for (qsizetype n = 0; n < s.names.size(); ++n) {
        const QString &key = s.names[n];
        const auto child = s.children.constFind(key);
        if (child == s.children.cend() || child->name.isEmpty() || childKey(child->name) != key)
            fail("a key without its child");
        if (n > 0 && italian.compare(s.children[s.names[n - 1]].name, child->name) > 0)
            fail("names out of order");
        qint64 inGames = 0;
        for (qsizetype g = 0; g < child->games.size(); ++g) {
            const GameSummary &game = child->games[g];
            if (!game.started.isValid() || game.right < 0 || game.wrong < 0 || game.right + game.wrong == 0
                || (game.tabellina != 0 && (game.tabellina < 2 || game.tabellina > 10)))
                fail("an empty or invalid game");
            if (g > 0 && child->games[g - 1].started >= game.started)
                fail("games out of order");
            inGames += game.right + game.wrong;
        }
        if (child->games.isEmpty() || child->lastGame != child->games.constLast().started)
            fail("the last game is not the latest");
        qint64 inFacts = 0;
        for (const auto &table : child->tables) {
            for (const FactStats &fact : table) {
                checkFact(fact);
                inFacts += fact.answers;
            }
        }
        if (inGames != inFacts)
            fail("games and facts count differently");
        answers += inFacts;
    }
    if (answers != s.entries)
        fail("the children's answers are not the entries");
}

bool sameChildren(const HistorySummary &a, const HistorySummary &b)
{
    if (a.entries != b.entries || a.names != b.names)
        return false;
    for (const QString &key : a.names) {
        const ChildReport &x = a.children[key];
        const ChildReport &y = b.children[key];
        if (x.name != y.name || x.games.size() != y.games.size())
            return false;
        for (size_t t = 0; t < x.tables.size(); ++t) {
            for (size_t f = 0; f < 10; ++f) {
                const FactStats &p = x.tables[t][f];
                const FactStats &q = y.tables[t][f];
                if (p.answers != q.answers || p.right != q.right || p.state != q.state || p.evidence != q.evidence)
                    return false;
            }
        }
    }
    return true;
}

bool sameEntry(const HistoryEntry &a, const HistoryEntry &b)
{
    return a.partita == b.partita && a.partita.offsetFromUtc() == b.partita.offsetFromUtc() && a.ora == b.ora
           && a.ora.offsetFromUtc() == b.ora.offsetFromUtc() && a.nome == b.nome && a.fattore == b.fattore
           && a.risposta == b.risposta && a.esatta == b.esatta && a.millisecondi == b.millisecondi
           && a.tabellina == b.tabellina && a.dopoDettatura == b.dopoDettatura;
}

bool writeFile(const QString &path, QByteArrayView bytes, QIODevice::OpenMode mode)
{
    QFile file(path);
    return file.open(mode) && file.write(bytes.data(), bytes.size()) == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const HistorySummary whole = summarizeHistory(bytes);
    checkSums(whole);

    // Without quotes, every line ending may be any of the three: the same lines.
    if (!bytes.contains('"')) {
        const QByteArray crOnly = bytes.toByteArray().replace('\n', '\r');
        const QByteArray lfOnly = bytes.toByteArray().replace('\r', '\n');
        for (const QByteArray &other : {crOnly, lfOnly}) {
            const HistorySummary s = summarizeHistory(other);
            if (!sameChildren(s, whole) || s.skipped != whole.skipped || s.notHistory != whole.notHistory)
                fail("another line ending reads differently");
        }
    }

    // The same bytes in three pieces, cut where the first two bytes say.
    qsizetype cut1 = 0;
    qsizetype cut2 = 0;
    if (size >= 2) {
        cut1 = qsizetype(data[0]) * bytes.size() / 256;
        cut2 = cut1 + qsizetype(data[1]) * (bytes.size() - cut1) / 256;
        HistoryReader reader;
        QByteArray held;
        qsizetype from = 0;
        for (const qsizetype to : {cut1, cut2, bytes.size()}) {
            held += bytes.sliced(from, to - from).toByteArray();
            from = to;
            held.remove(0, reader.feed(held, to == bytes.size()));
        }
        if (!held.isEmpty())
            fail("bytes left over at the end");
        const HistorySummary pieces = reader.finish();
        if (!sameChildren(pieces, whole) || pieces.skipped != whole.skipped)
            fail("read in pieces, the summary differs");
    }

    // Followed: a file that grows by the second piece and a new file holding the third read
    // as the two files read at once (a line still without its ending waits, so the skipped
    // lines may differ).
    if (size >= 2) {
        // In memory where there is such a folder: a disk's flushes would slow every run.
        static QTemporaryDir folder((QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                                         : QDir::tempPath())
                                    + QStringLiteral("/fuzz_storico-XXXXXX"));
        const QString a = folder.filePath(QStringLiteral("storico-a.csv"));
        const QString b = folder.filePath(QStringLiteral("storico-b.csv"));
        QFile::remove(b);
        if (!writeFile(a, bytes.first(cut1), QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the followed file");
        HistoryFollower follower({folder.path()});
        checkSums(follower.refresh());
        if (!writeFile(a, bytes.sliced(cut1, cut2 - cut1), QIODevice::Append)
            || !writeFile(b, bytes.sliced(cut2), QIODevice::WriteOnly))
            fail("cannot write the followed files");
        const HistorySummary followed = follower.refresh();
        checkSums(followed);
        const HistorySummary once = readHistoryFiles({a, b});
        checkSums(once);
        // A quote never closed where the file stops for now is a line torn by a crash to the
        // follower, while it may yet close further on in the file.
        if (!bytes.contains('"') && !sameChildren(followed, once))
            fail("followed, the summary differs");
    }

    if (const std::optional<HistoryEntry> entry = decodeHistoryLine(bytes)) {
        QByteArray line = encodeHistoryLine(*entry);
        if (!line.endsWith("\r\n"))
            fail("an encoded line without its ending");
        line.chop(2);
        const std::optional<HistoryEntry> again = decodeHistoryLine(line);
        if (!again || !sameEntry(*entry, *again))
            fail("a decoded line does not survive encoding");
        if (summarizeHistory(line + "\r\n").entries != 1)
            fail("an encoded line is not read back");
    }
    return 0;
}
