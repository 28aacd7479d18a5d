// The history reader: any bytes give a summary that adds up, the same whether the
// bytes come whole or in pieces, and a line that decodes encodes to one that decodes
// to the same answer; never a crash, a leak, undefined behaviour or a hang.
#include "storico/storico.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "history summary: %s\n", what);
    std::abort();
}

void checkSums(const HistorySummary &s)
{
    if (!s.exists || s.entries < 0 || s.skipped < 0)
        fail("bad counts");
    if (s.names.size() != s.children.size())
        fail("names and children differ");
    qint64 answers = 0;
    for (const QString &name : s.names) {
        const auto child = s.children.constFind(name);
        if (child == s.children.cend() || child->name != name || name.isEmpty())
            fail("a name without its child");
        qint64 inGames = 0;
        for (qsizetype g = 0; g < child->games.size(); ++g) {
            const GameSummary &game = child->games[g];
            if (!game.started.isValid() || game.right < 0 || game.wrong < 0 || game.right + game.wrong == 0)
                fail("an empty or invalid game");
            if (g > 0 && child->games[g - 1].started >= game.started)
                fail("games out of order");
            inGames += game.right + game.wrong;
        }
        qint64 inFacts = 0;
        int weak = 0;
        for (const FactStats &fact : child->facts) {
            if (fact.right < 0 || fact.right > fact.answers || (fact.answers == 0) != (fact.medianMs < 0))
                fail("a fact's counts do not hold together");
            if (fact.weak && fact.answers == 0)
                fail("a fact never asked marked weak");
            weak += fact.weak;
            inFacts += fact.answers;
        }
        if (weak > 3 || inGames != inFacts)
            fail("games and facts count differently");
        answers += inFacts;
    }
    if (answers != s.entries)
        fail("the children's answers are not the entries");
}

bool sameEntry(const HistoryEntry &a, const HistoryEntry &b)
{
    return a.partita == b.partita && a.partita.offsetFromUtc() == b.partita.offsetFromUtc() && a.ora == b.ora
           && a.ora.offsetFromUtc() == b.ora.offsetFromUtc() && a.nome == b.nome && a.fattore == b.fattore
           && a.risposta == b.risposta && a.esatta == b.esatta && a.millisecondi == b.millisecondi;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const HistorySummary whole = summarizeHistory(bytes);
    checkSums(whole);

    // The same bytes in three pieces, cut where the first two bytes say.
    if (size >= 2) {
        const qsizetype cut1 = qsizetype(data[0]) * bytes.size() / 256;
        const qsizetype cut2 = cut1 + qsizetype(data[1]) * (bytes.size() - cut1) / 256;
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
        if (pieces.entries != whole.entries || pieces.skipped != whole.skipped || pieces.names != whole.names)
            fail("read in pieces, the summary differs");
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
