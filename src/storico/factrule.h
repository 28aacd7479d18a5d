#pragma once

#include <QString>

#include <span>

// How well a child knows one fact (say 7 x 8), judged from its last answers. The notebook
// shows it and the targeted practice weighs its draws by it. Plain code: Qt Core only.
//
// From the last factWindow answers of the fact:
//   Sicuro       at least 5 answers, at least 90% right and a median time to answer of 3 s
//                or less;
//   DaRipassare  at least 3 answers and less than 80% right, or a median time over 6 s;
//   InEsercizio  at least 3 answers, neither of the above;
//   Nuovo        fewer than 3 answers.
// An answer whose time is not known counts for accuracy only; with no timed answer at all
// the fact is judged on accuracy alone.
enum class FactState { Nuovo, InEsercizio, DaRipassare, Sicuro };

inline constexpr int factWindow = 10;

struct FactAnswer
{
    bool esatta = false;
    qint64 dopoDettatura = -1;  // ms from the end of the dictation to the check; -1 unknown
};

// What a fact's state is judged on, as the notebook shows it beside the state: the last
// (up to) factWindow answers, how many of them were right, and the median time of those
// whose time is known (half a millisecond when the count is even).
struct FactEvidence
{
    int answers = 0;
    int right = 0;
    double medianMs = -1;  // -1: no timed answer among them

    bool operator==(const FactEvidence &) const = default;
};

// answers: oldest first; only the last factWindow count.
FactEvidence factEvidence(std::span<const FactAnswer> answers);
FactState judgeFact(const FactEvidence &evidence);
FactState judgeFact(std::span<const FactAnswer> answers);
// "nuovo", "in esercizio", "da ripassare", "sicuro".
QString factStateName(FactState state);
// The weight of a fact in the targeted practice's draw: 4, 2, 2 or 1.
int practiceWeight(FactState state);
