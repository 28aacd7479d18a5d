#pragma once

#include <QList>
#include <QString>

// What the character does on a right answer, by S (the right answers before this one):
// "Esatto" or "Giusto", the child's name at some steps, the result, and the praise row.
struct AgentLine
{
    enum class Kind { Speak, Play };
    Kind kind = Kind::Speak;
    QString text;
    friend bool operator==(const AgentLine &, const AgentLine &) = default;
};

QList<AgentLine> rightAnswerLines(double s, const QString &nome, const QString &risultato);
