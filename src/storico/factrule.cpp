#include "storico/factrule.h"

#include <algorithm>
#include <vector>

FactState judgeFact(std::span<const FactAnswer> answers)
{
    if (answers.size() > std::size_t(factWindow))
        answers = answers.last(factWindow);
    const int n = int(answers.size());
    if (n < 3)
        return FactState::Nuovo;

    int right = 0;
    std::vector<qint64> times;
    times.reserve(answers.size());
    for (const FactAnswer &a : answers) {
        right += a.esatta ? 1 : 0;
        if (a.dopoDettatura >= 0)
            times.push_back(a.dopoDettatura);
    }
    // Twice the median, so that an even count needs no fraction.
    qint64 twiceMedian = -1;
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        const std::size_t m = times.size() / 2;
        twiceMedian = times.size() % 2 ? 2 * times[m] : times[m - 1] + times[m];
    }
    const bool timed = twiceMedian >= 0;

    // Integer shares: right/n >= 9/10 and right/n < 8/10.
    if (n >= 5 && 10 * right >= 9 * n && (!timed || twiceMedian <= 2 * 3000))
        return FactState::Sicuro;
    if (10 * right < 8 * n || (timed && twiceMedian > 2 * 6000))
        return FactState::DaRipassare;
    return FactState::InEsercizio;
}

QString factStateName(FactState state)
{
    switch (state) {
    case FactState::Nuovo:
        return QStringLiteral("nuovo");
    case FactState::InEsercizio:
        return QStringLiteral("in esercizio");
    case FactState::DaRipassare:
        return QStringLiteral("da ripassare");
    case FactState::Sicuro:
        return QStringLiteral("sicuro");
    }
    return {};
}

int practiceWeight(FactState state)
{
    switch (state) {
    case FactState::DaRipassare:
        return 4;
    case FactState::Nuovo:
    case FactState::InEsercizio:
        return 2;
    case FactState::Sicuro:
        return 1;
    }
    return 2;
}
