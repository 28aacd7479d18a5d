// Tavola's drill: posing a problem, the keys typed in the answer box, and the check.

#include "app/runtimeerror.h"
#include "app/tavola.h"
#include "app/widgets.h"
#include "drill/praise.h"
#include "records/records.h"
#include "speech/agent.h"
#include "speech/numlett.h"

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
}

void Tavola::tastoPremuto(int code)
{
    m_surface->clearDrawing();
    showProblem();
    if (code == 13)
        verifica();
}

void Tavola::verifica()
{
    hideProblem();
    AgentCharacter &merlin = m_agent.character(QStringLiteral("Merlin"));

    if (Text3->text() == Text7->text()) {
        QPalette blue = lblMessage->palette();
        blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
        lblMessage->setPalette(blue);
        setCaption(lblMessage, QStringLiteral("Esatto. Sei forte!!!"));
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
        QPalette red = lblMessage->palette();
        red.setColor(QPalette::WindowText, QColor(255, 0, 0));
        lblMessage->setPalette(red);
        setCaption(lblMessage, QStringLiteral("Sbagliato!! ") + Text7->text());
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
}
