#pragma once

#include "storico/historyformat.h"

#include <QHash>

#include <string>
#include <unordered_map>
#include <vector>

namespace historyformat {

// The counts of a history's answers, gathered line by line as the reader takes them, and the
// summary the notebook shows, made of them on demand. Per child and fact it keeps only the
// counts, the last factWindow answers and the counts per day, so that a million lines stay
// small and one more line costs little. Lines may come from many files and in any order of
// time. A name joined to another (joins) counts as that one's child. Internal to the storico
// library.
class HistoryStats final
{
public:
    explicit HistoryStats(NameJoins joins = {})
        : m_joins(std::move(joins))
    {
    }
    void add(const Field &nome, const RawEntry &entry);
    qint64 entries() const { return m_entries; }
    // The summary of everything added so far (exists, entries and the children); the children
    // that got no answer since the last call are not summarised again.
    HistorySummary summary();

private:
    struct Recent
    {
        qint64 ora = 0;
        qint64 line = 0;  // the order of reading, for answers within the same second
        qint32 dopo = -1;
        bool esatta = false;
    };
    struct Day
    {
        qint64 julian = 0;
        int answers = 0;
        int right = 0;
    };
    struct Fact
    {
        int answers = 0;
        int right = 0;
        int held = 0;  // in recent, oldest first
        std::array<Recent, factWindow> recent;
        std::vector<Day> days;  // by day
    };
    struct Game
    {
        qint64 epoch = 0;
        int offset = 0;
        int tabellina = 2;  // 0 when mixed
        int right = 0;
        int wrong = 0;
    };
    // A name joined to a child, and its spelling of the most recent answer.
    struct Joined
    {
        QString key;
        int spelling = 0;
        qint64 ora = 0;
    };
    struct Child
    {
        QString key;
        int spelling = -1;  // of the most recent answer under the child's own name
        qint64 spellingOra = 0;
        std::vector<Joined> joined;
        std::vector<Game> games;
        QHash<qint64, int> gameIndex;  // partita's instant -> games
        // Only the facts answered have their state: most children play a table or two.
        std::array<qint16, 90> factSlot = filledSlots();  // (tabellina - 2) * 10 + fattore - 1 -> facts; -1 none
        std::vector<Fact> facts;
        bool changed = true;
    };
    struct Spelling
    {
        QString text;
        int child = 0;
        QString joinedKey;  // the name's own key when it is joined to the child; empty otherwise
    };

    static std::array<qint16, 90> filledSlots()
    {
        std::array<qint16, 90> none;
        none.fill(-1);
        return none;
    }
    int spellingFor(const Field &nome);
    static void addRecent(Fact &fact, const Recent &answer);
    static void addDay(Fact &fact, qint64 julian, bool esatta);
    ChildReport report(const Child &child) const;

    NameJoins m_joins;
    std::vector<Child> m_children;
    std::vector<Spelling> m_spellings;
    std::unordered_map<std::string, int> m_spellingIndex;  // the name's bytes -> m_spellings
    QHash<QString, int> m_byKey;                           // childKey -> m_children
    QHash<QString, ChildReport> m_reports;                 // by key, as last summarised
    // Consecutive lines mostly belong to the same child and game: remember the last ones.
    QByteArray m_lastName;
    int m_lastSpelling = -1;
    QByteArray m_lastPartita;
    int m_lastGameChild = -1;
    int m_lastGame = -1;
    qint64 m_entries = 0;
};

} // namespace historyformat
