#include "drill/drill.h"

#include "speech/agent.h"
#include "core/runtimeerror.h"
#include "speech/numlett.h"
#include "drill/praise.h"
#include "records/records.h"
#include "storico/historylog.h"
#include "storico/storico.h"

void stageCharacter(AgentCharacter &character, const QString &animation)
{
    character.Show();
    character.MoveTo(250, 175);
    if (!animation.isEmpty())
        character.Play(animation);
    character.setHeight(205);
}

FactWeights practiceWeights(const ChildReport *child)
{
    FactWeights weights{};
    for (int n = 2; n <= 10; ++n)
        for (int f = 1; f <= 10; ++f)
            weights[n - 2][f - 1] = practiceWeight(child ? child->fact(n, f).state : FactState::Nuovo);
    return weights;
}

Drill::Drill(DrillView &view, RandomSource &random)
    : m_view(view)
    , m_random(random)
{
}

void Drill::resetCounts()
{
    m_esatte = 0;
    m_errate = 0;
}

void Drill::recordAnswersTo(HistoryLog *history, const QDateTime &partita)
{
    m_history = history;
    m_partita = partita;
}

void Drill::nuovaDomanda()
{
    m_view.hideProblem();
    m_view.setText("lblMessage", QString());

    m_question = drawQuestion(m_random, m_tabellina, m_weights ? &*m_weights : nullptr);
    m_view.setText("Text1", QString::number(m_question.fattore1));
    m_view.setText("lblNum1", QString::number(m_question.fattore1));
    m_view.setText("lblNum2", QString::number(m_question.fattore2));
    m_view.setText("Text7", QString::number(m_question.risultato));
    // Text6 holds the digits for a moment, then the words: the second write is the one used.
    m_view.setText("Text6", QString::number(m_question.fattore2));
    m_view.setText("Text6", numlett(Currency::fromWhole(m_question.fattore2)));

    AgentCharacter &character = m_view.character();
    stageCharacter(character, QStringLiteral("Greet"));
    character.Speak(m_view.text("Text1"));
    character.Speak(QStringLiteral("per"));
    character.Speak(m_view.text("Text6"));
    const quint64 problem = ++m_dictation->problem;
    m_dictation->since.invalidate();
    character.whenDone([dictation = std::weak_ptr<Dictation>(m_dictation), problem] {
        const auto d = dictation.lock();
        if (d && d->problem == problem && !d->since.isValid())
            d->since.start();
    });

    m_view.hideProblem();
    m_view.setText("Text3", QString());
    m_view.focusAnswer();
    m_view.paintGradient(m_question);
    m_posed.start();
}

void Drill::tastoPremuto(int code)
{
    if (!m_dictation->since.isValid())
        m_dictation->since.start();
    m_view.clearDrawing();
    m_view.showProblem();
    if (code == 13)
        verifica();
}

void Drill::verifica()
{
    m_view.hideProblem();
    AgentCharacter &character = m_view.character();
    const QString risposta = m_view.text("Text3");
    const QString risultato = m_view.text("Text7");
    const bool esatta = risposta == risultato;

    if (esatta) {
        m_view.showVerdict({0, 0, 255}, QStringLiteral("Esatto. Sei forte!!!"));
        m_esatte = checkedAdd16(m_esatte, 1);
        stageCharacter(character);
        const double s = toNumber(m_view.text("lblScore"));
        for (const AgentLine &line : rightAnswerLines(s, m_view.text("Txtnome1"), risultato)) {
            if (line.kind == AgentLine::Kind::Play)
                character.Play(line.text);
            else
                character.Speak(line.text);
        }
    } else {
        m_view.showVerdict({255, 0, 0}, QStringLiteral("Sbagliato!! ") + risultato);
        m_errate = checkedAdd16(m_errate, 1);
        stageCharacter(character, QStringLiteral("Greet"));
        character.Speak(QStringLiteral("Sbagliato"));
        character.Speak(risultato);
        m_view.setText("lblScore1", QString::number(m_errate));
        m_view.enableNext();
    }

    // The scores, with cmdNext enabled after each: enabling it again is harmless and
    // keeps the focus on it whichever way the check went.
    m_view.setText("lblScore", QString::number(m_esatte));
    m_view.enableNext();
    m_view.setText("lblScore2", QString::number(checkedAdd16(m_esatte, m_errate)));
    m_view.enableNext();

    // Only an enqueue, after the counts so that a check that overflows records nothing:
    // a worker thread does the writing.
    if (m_history)
        m_history->append({m_partita, QDateTime::currentDateTime(), m_view.text("lblnome1"), m_question.fattore2,
                           risposta, esatta, m_posed.isValid() ? m_posed.elapsed() : 0, m_question.fattore1,
                           m_dictation->since.isValid() ? m_dictation->since.elapsed() : -1});
}
