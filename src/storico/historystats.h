#pragma once

#include "storico/historyformat.h"

#include <QHash>

#include <string>
#include <unordered_map>
#include <vector>

namespace historyformat {

// The counts and times of a history's answers, gathered line by line as the reader takes
// them (so that a million lines stay small), and the summary the notebook shows, made of
// them at the end. Internal to the storico library.
class HistoryStats final
{
public:
    void add(const Field &nome, const RawEntry &entry);
    HistorySummary finish();

private:
    struct Game
    {
        qint64 epoch = 0;
        QDateTime started;
        int right = 0;
        int wrong = 0;
    };
    struct Child
    {
        QString name;
        std::array<std::vector<quint32>, 10> times;
        std::array<int, 10> right{};
        std::vector<Game> games;
        QHash<qint64, int> gameIndex;  // partita's instant -> games
        qint64 lastOra = 0;
        qint64 lastLine = -1;
    };

    int childFor(const Field &nome);

    std::vector<Child> m_children;
    std::unordered_map<std::string, int> m_childIndex;  // the name's bytes -> m_children
    QHash<QString, int> m_byName;
    // Consecutive lines mostly belong to the same child and game: remember the last ones.
    QByteArray m_lastName;
    int m_lastChild = -1;
    QByteArray m_lastPartita;
    int m_lastGameChild = -1;
    int m_lastGame = -1;
    qint64 m_entries = 0;
};

} // namespace historyformat
