#include "storico/factrule.h"

#include <algorithm>
#include <array>

FactEvidence factEvidence(std::span<const FactAnswer> answers)
{
    if (answers.size() > std::size_t(factWindow))
        answers = answers.last(factWindow);
    FactEvidence evidence;
    evidence.answers = int(answers.size());
    std::array<qint64, factWindow> times;
    std::size_t timed = 0;
    for (const FactAnswer &a : answers) {
        evidence.right += a.esatta ? 1 : 0;
        // An answer whose time is not known is left out of the median, not counted as instant.
        if (a.dopoDettatura >= 0)
            times[timed++] = a.dopoDettatura;
    }
    if (timed > 0) {
        std::sort(times.begin(), times.begin() + timed);
        const std::size_t m = timed / 2;
        // Halves are exact in a double: no rounding can move a median across a threshold.
        evidence.medianMs = timed % 2 ? double(times[m]) : (double(times[m - 1]) + double(times[m])) / 2;
    }
    return evidence;
}

FactState judgeFact(const FactEvidence &evidence)
{
    const int n = evidence.answers;
    const int right = evidence.right;
    if (n < 3)
        return FactState::Nuovo;
    const bool timed = evidence.medianMs >= 0;
    // Integer shares: right/n >= 9/10 and right/n < 8/10.
    if (n >= 5 && 10 * right >= 9 * n && (!timed || evidence.medianMs <= 3000))
        return FactState::Sicuro;
    if (10 * right < 8 * n || (timed && evidence.medianMs > 6000))
        return FactState::DaRipassare;
    return FactState::InEsercizio;
}

FactState judgeFact(std::span<const FactAnswer> answers)
{
    return judgeFact(factEvidence(answers));
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
