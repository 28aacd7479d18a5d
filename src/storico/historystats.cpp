#include "storico/historystats.h"

#include <algorithm>

namespace historyformat {

namespace {

qint64 median(std::vector<quint32> &values)
{
    if (values.empty())
        return -1;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + qsizetype(middle), values.end());
    const qint64 upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    const qint64 lower = *std::max_element(values.begin(), values.begin() + qsizetype(middle));
    return (lower + upper) / 2;
}

} // namespace

int HistoryStats::childFor(const Field &nome)
{
    if (m_lastChild >= 0 && !nome.quoted && nome.raw == m_lastName)
        return m_lastChild;
    const QByteArray name = nome.text();
    if (m_lastChild >= 0 && name == m_lastName)
        return m_lastChild;
    const std::string key(name.constData(), size_t(name.size()));
    auto it = m_childIndex.find(key);
    if (it == m_childIndex.end()) {
        // Different bytes may read as the same name (damaged UTF-8 becomes U+FFFD): one child.
        const QString text = textOf(name);
        int index = m_byName.value(text, -1);
        if (index < 0) {
            index = int(m_children.size());
            m_byName.insert(text, index);
            m_children.emplace_back();
            m_children.back().name = text;
        }
        it = m_childIndex.emplace(key, index).first;
    }
    m_lastName = name;
    m_lastChild = it->second;
    return it->second;
}

void HistoryStats::add(const Field &nome, const RawEntry &entry)
{
    const int c = childFor(nome);
    Child &child = m_children[size_t(c)];
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
            child.games.push_back({entry.partita.epoch, entry.partita.toDateTime(), 0, 0});
        }
        m_lastGameChild = c;
        m_lastPartita = entry.partitaText.toByteArray();
        m_lastGame = g;
    }
    Game &game = child.games[size_t(g)];
    (entry.esatta ? game.right : game.wrong) += 1;
    const int f = entry.fattore - 1;
    child.times[size_t(f)].push_back(quint32(std::min<qint64>(entry.millisecondi, UINT32_MAX)));
    child.right[size_t(f)] += entry.esatta;
    if (child.lastLine < 0 || entry.ora.epoch >= child.lastOra) {
        child.lastOra = entry.ora.epoch;
        child.lastLine = m_entries;
    }
    ++m_entries;
}

HistorySummary HistoryStats::finish()
{
    HistorySummary summary;
    summary.exists = true;
    summary.entries = m_entries;

    std::vector<int> order(m_children.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        const Child &x = m_children[size_t(a)];
        const Child &y = m_children[size_t(b)];
        return x.lastOra != y.lastOra ? x.lastOra > y.lastOra : x.lastLine > y.lastLine;
    });

    for (const int i : order) {
        Child &child = m_children[size_t(i)];
        ChildReport report;
        report.name = child.name;
        std::stable_sort(child.games.begin(), child.games.end(),
                         [](const Game &a, const Game &b) { return a.epoch < b.epoch; });
        report.games.reserve(qsizetype(child.games.size()));
        for (const Game &game : child.games)
            report.games.append({game.started, game.right, game.wrong});

        std::vector<quint32> all;
        for (size_t f = 0; f < 10; ++f) {
            all.insert(all.end(), child.times[f].begin(), child.times[f].end());
            report.facts[f].answers = int(child.times[f].size());
            report.facts[f].right = child.right[f];
            report.facts[f].medianMs = median(child.times[f]);
            std::vector<quint32>().swap(child.times[f]);
        }
        const qint64 overall = median(all);

        // The facts to practise most: at most three, the lowest share of right answers
        // first and, among equal shares, the slower median first. Only facts answered at
        // least once, and only those not yet mastered: some answer wrong, or a median slower
        // than the child's median over all facts. A child who is always right and even
        // gets no mark; one fact much slower than the rest does.
        std::vector<int> candidates;
        for (int f = 0; f < 10; ++f) {
            const FactStats &fact = report.facts[size_t(f)];
            if (fact.answers > 0 && (fact.right < fact.answers || fact.medianMs > overall))
                candidates.push_back(f);
        }
        std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) {
            const FactStats &x = report.facts[size_t(a)];
            const FactStats &y = report.facts[size_t(b)];
            // x.right / x.answers < y.right / y.answers, without rounding.
            const qint64 left = qint64(x.right) * y.answers;
            const qint64 right = qint64(y.right) * x.answers;
            return left != right ? left < right : x.medianMs > y.medianMs;
        });
        for (size_t k = 0; k < candidates.size() && k < 3; ++k)
            report.facts[size_t(candidates[k])].weak = true;

        summary.names.append(report.name);
        summary.children.insert(report.name, std::move(report));
    }
    return summary;
}

} // namespace historyformat
