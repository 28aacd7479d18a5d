// Tavola's drill: posing a problem, the keys typed in the answer box, and the check.

#include "app/runtimeerror.h"
#include "app/tavola.h"
#include "app/widgets.h"
#include "drill/praise.h"
#include "records/records.h"
#include "speech/agent.h"
#include "speech/numlett.h"
#include "storico/storico.h"

#include <QLabel>
#include <QLineEdit>

void Tavola::nuovaDomanda()
{
    hideProblem();
    setCaption(lblMessage, QString());

    m_question = drawQuestion(m_random);
    Text1->setText(QString::number(m_question.fattore1));
    setCaption(lblNum1, QString::number(m_question.fattore1));
    setCaption(lblNum2, QString::number(m_question.fattore2));
    Text7->setText(QString::number(m_question.risultato));
    Text6->setText(QString::number(m_question.fattore2));
    Text6->setText(numlett(Currency::fromWhole(m_question.fattore2)));

    AgentCharacter &merlin = m_agent.character(QStringLiteral("Merlin"));
    merlin.Show();
    merlin.MoveTo(250, 175);
    merlin.Play(QStringLiteral("Greet"));
    merlin.setHeight(205);
    merlin.Speak(Text1->text());
    merlin.Speak(QStringLiteral("per"));
    merlin.Speak(Text6->text());

    hideProblem();
    Text3->setText(QString());
    Text3->setFocus();
    m_surface->paintGradient(m_question);
    m_posed.start();
}

void Tavola::tastoPremuto(int code)
{
    m_surface->clearDrawing();
    showProblem();
    if (code == 13)
        verifica();
}

void Tavola::showVerdict(const QColor &colour, const QString &text)
{
    QPalette pal = lblMessage->palette();
    pal.setColor(QPalette::WindowText, colour);
    lblMessage->setPalette(pal);
    setCaption(lblMessage, text);
}

void Tavola::verifica()
{
    hideProblem();
    AgentCharacter &merlin = m_agent.character(QStringLiteral("Merlin"));

    const bool esatta = Text3->text() == Text7->text();
    if (esatta) {
        showVerdict(QColor(0, 0, 255), QStringLiteral("Esatto. Sei forte!!!"));
        m_esatte = checkedAdd16(m_esatte, 1);
        merlin.Show();
        merlin.MoveTo(250, 175);
        merlin.setHeight(205);
        const double s = toNumber(lblScore->text());
        for (const AgentLine &line : rightAnswerLines(s, Txtnome1->text(), Text7->text())) {
            if (line.kind == AgentLine::Kind::Play)
                merlin.Play(line.text);
            else
                merlin.Speak(line.text);
        }
    } else {
        showVerdict(QColor(255, 0, 0), QStringLiteral("Sbagliato!! ") + Text7->text());
        m_errate = checkedAdd16(m_errate, 1);
        merlin.Show();
        merlin.MoveTo(250, 175);
        merlin.Play(QStringLiteral("Greet"));
        merlin.setHeight(205);
        merlin.Speak(QStringLiteral("Sbagliato"));
        merlin.Speak(Text7->text());
        setCaption(lblScore1, QString::number(m_errate));
        enableNext();
    }

    setCaption(lblScore, QString::number(m_esatte));
    enableNext();
    setCaption(lblScore2, QString::number(checkedAdd16(m_esatte, m_errate)));
    enableNext();

    // Only an enqueue: a worker thread does the writing.
    if (m_history)
        m_history->append({m_partita, QDateTime::currentDateTime(), lblnome1->text(), m_question.fattore2,
                           Text3->text(), esatta, m_posed.isValid() ? m_posed.elapsed() : 0});
}
