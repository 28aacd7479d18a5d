#pragma once

#include "drill/question.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>

class AgentCharacter;
class HistoryLog;
struct ChildReport;

// What the drill works on: the window's captions and text boxes by their names, the three
// labels of the problem, the verdict, the next-problem button, the painting behind the
// controls and the character. The window is where the game keeps its state; the drill
// reads and writes it only through this.
class DrillView
{
public:
    virtual ~DrillView() = default;
    // The caption of a label or the text of a box, by the control's name ("Text3", "lblScore").
    virtual QString text(const char *name) const = 0;
    virtual void setText(const char *name, const QString &text) = 0;
    virtual void hideProblem() = 0;   // lblNum1, lblNum2 and Label10
    virtual void showProblem() = 0;
    // lblMessage: its caption in this colour.
    virtual void showVerdict(Rgb colour, const QString &text) = 0;
    // cmdNext enabled and focused.
    virtual void enableNext() = 0;
    // The answer box focused.
    virtual void focusAnswer() = 0;
    virtual void paintGradient(const Question &question) = 0;
    virtual void clearDrawing() = 0;
    virtual AgentCharacter &character() = 0;
};

// The character where the game shows it: shown, moved, playing the animation if one is
// given, then sized.
void stageCharacter(AgentCharacter &character, const QString &animation = {});

// The targeted practice's weights for a child: each fact by the state its answers put it
// in (practiceWeight); with no history (nullptr) every fact is new.
FactWeights practiceWeights(const ChildReport *child);

// The drill's steps: posing a problem, a key typed in the answer box, and the check.
// A run-time error they raise (an overflow of the counts, an animation the character
// lacks) escapes to the caller.
class Drill final
{
public:
    Drill(DrillView &view, RandomSource &random);

    void nuovaDomanda();          // a new problem
    void tastoPremuto(int code);  // a character key typed in Text3; 13 is Enter
    void verifica();              // the check of Text3 against the result

    qint16 esatte() const { return m_esatte; }
    qint16 errate() const { return m_errate; }
    void resetCounts();
    const Question &question() const { return m_question; }
    // The table the next problems come from: 2 to 10, or tutteLeTabelline.
    void setTabellina(int tabellina) { m_tabellina = tabellina; }
    int tabellina() const { return m_tabellina; }
    // The targeted practice: the next problems are drawn by these weights; none, uniformly.
    void setPracticeWeights(std::optional<FactWeights> weights) { m_weights = std::move(weights); }
    const std::optional<FactWeights> &practiceWeights() const { return m_weights; }
    // Every check from now on appends the answer to this history, as part of the game
    // that started at partita. The log is the caller's and must outlive the drill's use.
    void recordAnswersTo(HistoryLog *history, const QDateTime &partita);
    const QDateTime &partita() const { return m_partita; }

private:
    DrillView &m_view;
    RandomSource &m_random;
    qint16 m_esatte = 0;
    qint16 m_errate = 0;
    Question m_question;
    HistoryLog *m_history = nullptr;
    QDateTime m_partita;
    QElapsedTimer m_posed;  // since the problem was posed
    int m_tabellina = 2;
    std::optional<FactWeights> m_weights;
    // Since the wizard finished saying the problem, or the first key typed if that came
    // first. Shared with the character's notice, which may come after the drill is gone.
    struct Dictation
    {
        quint64 problem = 0;  // which problem this is, counted from the first
        QElapsedTimer since;
    };
    std::shared_ptr<Dictation> m_dictation = std::make_shared<Dictation>();
};
