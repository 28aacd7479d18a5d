#include "storico/historystats.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <limits>

namespace historyformat {

int HistoryStats::spellingFor(const Field &nome)
{
    if (m_lastSpelling >= 0 && !nome.quoted && nome.raw == m_lastName)
        return m_lastSpelling;
    const QByteArray name = nome.text();
    if (m_lastSpelling >= 0 && name == m_lastName)
        return m_lastSpelling;
    const std::string bytes(name.constData(), size_t(name.size()));
    auto it = m_spellingIndex.find(bytes);
    if (it == m_spellingIndex.end()) {
        // Different bytes may read as the same name (damaged UTF-8 becomes U+FFFD), and
        // different names as the same child: the key decides.
        const QString text = textOf(name);
        const QString key = childKey(text);
        const QString owner = m_joins.resolve(key);
        int child = m_byKey.value(owner, -1);
        if (child < 0) {
            child = int(m_children.size());
            m_byKey.insert(owner, child);
            m_children.emplace_back();
            m_children.back().key = owner;
        }
        m_spellings.push_back({text, child, owner == key ? QString() : key});
        it = m_spellingIndex.emplace(bytes, int(m_spellings.size() - 1)).first;
    }
    m_lastName = name;
    m_lastSpelling = it->second;
    return it->second;
}

void HistoryStats::addRecent(Fact &fact, const Recent &answer)
{
    auto later = [](const Recent &a, const Recent &b) { return a.ora != b.ora ? a.ora > b.ora : a.line > b.line; };
    auto *begin = fact.recent.data();
    if (fact.held == factWindow) {
        if (!later(answer, begin[0]))
            return;  // older than the last ten
        std::move(begin + 1, begin + factWindow, begin);
        --fact.held;
    }
    // Mostly the newest: look from the end.
    int at = fact.held;
    while (at > 0 && later(begin[at - 1], answer)) {
        begin[at] = begin[at - 1];
        --at;
    }
    begin[at] = answer;
    ++fact.held;
}

void HistoryStats::addDay(Fact &fact, qint64 julian, bool esatta)
{
    auto &days = fact.days;
    auto it = days.end();
    if (days.empty() || days.back().julian < julian) {
        days.push_back({julian, 0, 0});
        it = days.end() - 1;
    } else if (days.back().julian == julian) {
        it = days.end() - 1;
    } else {
        it = std::lower_bound(days.begin(), days.end(), julian,
                              [](const Day &d, qint64 j) { return d.julian < j; });
        if (it == days.end() || it->julian != julian)
            it = days.insert(it, {julian, 0, 0});
    }
    ++it->answers;
    it->right += esatta;
}

void HistoryStats::add(const Field &nome, const RawEntry &entry)
{
    const int s = spellingFor(nome);
    const Spelling &spelling = m_spellings[size_t(s)];
    const int c = spelling.child;
    Child &child = m_children[size_t(c)];
    child.changed = true;
    if (!spelling.joinedKey.isEmpty()) {
        auto joined = std::find_if(child.joined.begin(), child.joined.end(),
                                   [&](const Joined &j) { return j.key == spelling.joinedKey; });
        if (joined == child.joined.end())
            child.joined.push_back({spelling.joinedKey, s, entry.ora.epoch});
        else if (entry.ora.epoch >= joined->ora)
            *joined = {spelling.joinedKey, s, entry.ora.epoch};
    } else if (child.spelling < 0 || entry.ora.epoch >= child.spellingOra) {
        child.spelling = s;
        child.spellingOra = entry.ora.epoch;
    }

    int g;
    if (c == m_lastGameChild && entry.partitaText == m_lastPartita) {
        g = m_lastGame;
    } else {
        const auto found = child.gameIndex.constFind(entry.partita.epoch);
        if (found != child.gameIndex.cend()) {
            g = *found;
        } else {
            g = int(child.games.size());
            child.gameIndex.insert(entry.partita.epoch, g);
            child.games.push_back({entry.partita.epoch, entry.partita.offset, entry.tabellina, 0, 0});
        }
        m_lastGameChild = c;
        m_lastPartita = entry.partitaText.toByteArray();
        m_lastGame = g;
    }
    Game &game = child.games[size_t(g)];
    (entry.esatta ? game.right : game.wrong) += 1;
    if (game.tabellina != entry.tabellina)
        game.tabellina = 0;

    qint16 &slot = child.factSlot[size_t((entry.tabellina - 2) * 10 + entry.fattore - 1)];
    if (slot < 0) {
        slot = qint16(child.facts.size());
        child.facts.emplace_back();
    }
    Fact &fact = child.facts[size_t(slot)];
    ++fact.answers;
    fact.right += entry.esatta;
    const qint32 dopo = qint32(std::min<qint64>(entry.dopoDettatura, std::numeric_limits<qint32>::max()));
    addRecent(fact, {entry.ora.epoch, m_entries, dopo, entry.esatta});
    addDay(fact, QDate(entry.ora.year, entry.ora.month, entry.ora.day).toJulianDay(), entry.esatta);
    ++m_entries;
}

ChildReport HistoryStats::report(const Child &child) const
{
    ChildReport report;
    // A child known only by the names joined to it is shown as the name they were joined to.
    report.name = (child.spelling >= 0 ? m_spellings[size_t(child.spelling)].text : m_joins.nameOf(child.key)).trimmed();
    for (const Joined &joined : child.joined)
        report.joined.append(m_spellings[size_t(joined.spelling)].text.trimmed());
    report.joined.sort(Qt::CaseInsensitive);

    std::vector<const Game *> games;
    games.reserve(child.games.size());
    for (const Game &game : child.games)
        games.push_back(&game);
    std::stable_sort(games.begin(), games.end(), [](const Game *a, const Game *b) { return a->epoch < b->epoch; });
    report.games.reserve(qsizetype(games.size()));
    for (const Game *game : games) {
        const QDateTime started =
            QDateTime::fromSecsSinceEpoch(game->epoch, Qt::OffsetFromUTC, game->offset);
        report.games.append({started, game->tabellina, game->right, game->wrong});
    }
    if (!report.games.isEmpty())
        report.lastGame = report.games.constLast().started;

    for (size_t t = 0; t < report.tables.size(); ++t) {
        for (size_t f = 0; f < 10; ++f) {
            const qint16 slot = child.factSlot[t * 10 + f];
            if (slot < 0)
                continue;
            const Fact &fact = child.facts[size_t(slot)];
            FactStats &stats = report.tables[t][f];
            stats.answers = fact.answers;
            stats.right = fact.right;
            if (fact.answers == 0)
                continue;
            std::array<FactAnswer, factWindow> answers;
            for (int i = 0; i < fact.held; ++i)
                answers[size_t(i)] = {fact.recent[size_t(i)].esatta, fact.recent[size_t(i)].dopo};
            stats.evidence = factEvidence(std::span<const FactAnswer>(answers.data(), size_t(fact.held)));
            stats.state = judgeFact(stats.evidence);
            stats.timeline.reserve(qsizetype(fact.days.size()));
            for (const Day &day : fact.days)
                stats.timeline.append({QDate::fromJulianDay(day.julian), day.answers, day.right});
        }
    }
    return report;
}

HistorySummary HistoryStats::summary()
{
    HistorySummary summary;
    summary.exists = true;
    summary.entries = m_entries;
    m_reports.reserve(qsizetype(m_children.size()));
    for (Child &child : m_children) {
        if (child.changed) {
            m_reports.insert(child.key, report(child));
            child.changed = false;
        }
    }
    summary.children = m_reports;
    summary.joins = m_joins;

    // Opening a collator costs more than sorting a class: one a thread, kept. Sort keys
    // compare faster than the collator, which counts for a long list of names.
    thread_local const QCollator italian{QLocale(QLocale::Italian, QLocale::Italy)};
    struct Shown
    {
        QCollatorSortKey order;
        const QString *key;
    };
    std::vector<Shown> shown;
    shown.reserve(m_children.size());
    for (auto it = m_reports.cbegin(); it != m_reports.cend(); ++it)
        shown.push_back({italian.sortKey(it->name), &it.key()});
    std::sort(shown.begin(), shown.end(), [&](const Shown &a, const Shown &b) {
        const int order = a.order.compare(b.order);
        return order != 0 ? order < 0 : *a.key < *b.key;
    });
    summary.names.reserve(qsizetype(shown.size()));
    for (const Shown &s : shown)
        summary.names.append(*s.key);
    return summary;
}

} // namespace historyformat

QString childKey(const QString &name)
{
    // Case folding can leave a string that is not in form C (a folded letter before a
    // combining mark): normalised after it as well as before.
    return name.trimmed().normalized(QString::NormalizationForm_C).toCaseFolded().normalized(QString::NormalizationForm_C);
}

const FactStats &ChildReport::fact(int tabellina, int fattore) const
{
    static const FactStats none;
    if (tabellina < 2 || tabellina > 10 || fattore < 1 || fattore > 10)
        return none;
    return tables[size_t(tabellina - 2)][size_t(fattore - 1)];
}
