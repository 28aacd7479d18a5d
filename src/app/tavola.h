#pragma once

#include "countdown/countdown.h"
#include "drill/question.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>

class Agent;
class Dialogs;
class GraphicalButton;
class HistoryLog;
class QColor;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class RuntimeError;
class Shape;
class Surface;

// The program's one window, Tavola. It builds its controls, runs start-up before it is
// shown, poses the first problem when it is first activated, and handles the drill,
// the clock ticks and leaving. Its captions are where the game keeps its state; the
// rules themselves live in plain code (drill/, countdown/, records/, speech/).
class Tavola final : public QMainWindow
{
    Q_OBJECT

public:
    Tavola(Agent &agent, Dialogs &dialogs, RandomSource &random, QWidget *parent = nullptr);
    ~Tavola() override;

    // Start-up, before the window is shown. A RuntimeError escapes to the caller.
    void load();

    // The window's handlers. Each reports a run-time error and ends the program.
    void firstActivation();
    void nuovaDomanda();          // click on cmdNext
    void verifica();              // click on Command3
    void tastoPremuto(int code);  // a character key typed in Text3
    void tick();                  // Timer1
    void esci();                  // click on cmdExit1

    // How a run-time error is reported: by default its message box, then the end.
    void reportError(const RuntimeError &error);

    qint16 esatte() const { return m_esatte; }
    qint16 errate() const { return m_errate; }
    QString dirwin() const { return m_dirwin; }
    const Countdown &countdown() const { return m_countdown; }
    Countdown &countdown() { return m_countdown; }
    const Question &question() const { return m_question; }
    bool hasEnded() const { return m_ended; }

    // The window's contact address, shown in its caption.
    static const QString contactAddress;

signals:
    // The program is to end now, with this exit status (0, or a run-time error's number).
    void ended(int status);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void loadArtwork();
    void Avviatimer();
    void hideProblem();
    void showProblem();
    void enableNext();
    void showVerdict(const QColor &colour, const QString &text);
    void setCaption(QLabel *label, const QString &text);
    void stopClock();
    void end(int status);
    // Runs one handler; a run-time error it raises is reported and ends the program.
    void guarded(const std::function<void()> &handler);

    Agent &m_agent;
    Dialogs &m_dialogs;
    RandomSource &m_random;

    qint16 m_esatte = 0;
    qint16 m_errate = 0;
    QString m_dirwin;
    Countdown m_countdown;
    Question m_question;
    // What lblpunti holds: the whole score file; the label may show it cut.
    QString m_recordCaption;
    bool m_activated = false;
    bool m_leaving = false;
    bool m_clockStopped = false;
    bool m_ended = false;
    // The history of answers: when this game started and when the problem was posed.
    std::unique_ptr<HistoryLog> m_history;
    QDateTime m_partita;
    QElapsedTimer m_posed;

    Surface *m_surface = nullptr;
    QTimer *Timer1 = nullptr;
    QLabel *lblNum1 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *lblNum2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLabel *lblMessage = nullptr;
    QLabel *lblScore = nullptr;
    QLabel *lblScore1 = nullptr;
    QLabel *lblScore2 = nullptr;
    QLabel *lblconto = nullptr;
    GraphicalButton *cmdNext = nullptr;
    GraphicalButton *cmdExit1 = nullptr;
    QLabel *lblnome1 = nullptr;
    QLabel *lblnome = nullptr;
    QLabel *lblpunti = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text6 = nullptr;
    QLineEdit *Text7 = nullptr;
    QLineEdit *Txtnome1 = nullptr;
    QPushButton *Command3 = nullptr;
};
