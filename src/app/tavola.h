#pragma once

#include "countdown/countdown.h"
#include "drill/drill.h"

#include <QFutureWatcher>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class Agent;
class Dialogs;
class GraphicalButton;
class HistoryLog;
class Scelte;
class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class RuntimeError;
class Shape;
class Surface;

// The program's one window, Tavola. It builds its controls, runs start-up before it is
// shown, poses the first problem when it is first activated, and wires its events to the
// drill, the clock and leaving. Its captions are where the game keeps its state; the
// steps and rules themselves are plain code (drill/, countdown/, records/), which reads
// and writes the captions through DrillView.
class Tavola final : public QMainWindow, private DrillView
{
    Q_OBJECT

public:
    // When the controls are made: at once, or by build() (the program builds them while
    // its name dialog waits for the child, so that the dialog comes first).
    enum class Controls { Now, Later };

    Tavola(Agent &agent, Dialogs &dialogs, RandomSource &random, Controls controls = Controls::Now,
           QWidget *parent = nullptr);
    ~Tavola() override;

    // The table asked on the command line: every child plays it, whatever they chose before.
    void setTabellinaRichiesta(int tabellina) { m_tabellinaRichiesta = tabellina; }

    // Makes the controls, the menu and their connections; does nothing the second time.
    void build();

    // Start-up, before the window is shown; builds the controls first if need be. A
    // RuntimeError escapes to the caller.
    void load();

    // The window's own handlers (the drill's are the Drill's: cmdNext, Command3, keys in Text3).
    void firstActivation();
    void tick();                  // Timer1
    void esci();                  // click on cmdExit1
    // A table chosen in the "Tabelline" menu: the game so far ends as leaving ends it for
    // the record, and a new one starts on that table for the same child.
    void cambiaTabellina(int tabellina);
    // "Ripasso mirato" checked or cleared: the next problems are drawn by the child's history, or uniformly.
    void cambiaRipasso(bool ripasso);

    // The one way a run-time error is reported, whatever raised it: the clock stops, the
    // error is said on stderr and in its message box, and the program ends with its status.
    void reportError(const RuntimeError &error);

    Drill &drill() { return m_drill; }
    QString dirwin() const { return m_dirwin; }
    const Countdown &countdown() const { return m_countdown; }
    Countdown &countdown() { return m_countdown; }
    bool hasEnded() const { return m_phase == Phase::Ended; }
    // What the wizard's balloon must leave in sight while it shows: the problem, the
    // verdict, the counters and the answer box.
    QList<QWidget *> keptInSight() const;

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
    void buildTableMenu(bool ripasso);
    static Scelte scelte();
    void showTabellina();
    // The record files of the table being played, created if missing, into lblpunti and lblnome.
    void loadRecord();
    // Leaving's part for the record: stored, with its message, if the score beats it.
    void storeRecordIfBeaten();
    // Reads the history on Qt's thread pool; the targeted practice's weights follow when it is read.
    void readPracticeWeights();
    void practiceWeightsRead();
    void loadArtwork();
    void Avviatimer();
    void setCaption(QLabel *label, const QString &text);

    // DrillView: what the drill reads and changes.
    QString text(const char *name) const override;
    void setText(const char *name, const QString &text) override;
    void hideProblem() override;
    void showProblem() override;
    void showVerdict(Rgb colour, const QString &text) override;
    void enableNext() override;
    void focusAnswer() override;
    void paintGradient(const Question &question) override;
    void clearDrawing() override;
    AgentCharacter &character() override;
    void stopClock();
    void end(int status);
    // Runs one handler; a run-time error it raises is reported and ends the program.
    void guarded(const std::function<void()> &handler);

    // Where the game is: each phase only moves forward.
    enum class Phase {
        Starting,      // until the window is first activated
        Playing,
        ClockStopped,  // time is up: no tick may run again
        Leaving,       // the farewell (or an error's message) is under way
        Ended,         // ended has been emitted: no handler runs again
    };
    void advanceTo(Phase phase);

    Agent &m_agent;
    Dialogs &m_dialogs;
    Drill m_drill;

    QString m_dirwin;
    Countdown m_countdown;
    // What lblpunti holds: the whole score file; the label may show it cut.
    QString m_recordCaption;
    Phase m_phase = Phase::Starting;
    std::optional<int> m_tabellinaRichiesta;
    QMenu *m_credits = nullptr;
    QActionGroup *m_tabelline = nullptr;
    QAction *m_ripasso = nullptr;
    QFutureWatcher<FactWeights> m_practiceReader;
    bool m_practiceAgain = false;
    // The history of answers, appended to by the drill's check.
    std::unique_ptr<HistoryLog> m_history;

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
