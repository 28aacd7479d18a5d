#include "app/tavola.h"

#include "speech/agent.h"
#include "app/application.h"
#include "app/dialogs.h"
#include "app/widgets.h"
#include "core/runtimeerror.h"
#include "core/tabellina.h"
#include "drill/answerkeys.h"
#include "records/records.h"
#include "scelte/scelte.h"
#include "storico/historylog.h"
#include "storico/joins.h"
#include "storico/storico.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

const QString Tavola::contactAddress = QStringLiteral("quizzolo@example.org");

namespace {

const QString characterId = QStringLiteral("Merlin");
const QString characterFile = QStringLiteral("C:\\WINDOWS\\msagent\\chars\\Merlin.acs");
// The wizard's introduction to a game of this table.
QString introduction(int tabellina, bool ripasso)
{
    return QStringLiteral("Allora attenzione, iniziamo la nostra avventura con ") + tabellinaName(tabellina)
        + (ripasso ? QStringLiteral(". Oggi ti chiederò più spesso i calcoli che devi ripassare") : QString())
        + QStringLiteral(". Io detto e tu "
                         "scrivi il risultato nello spazio sotto di me. Mi raccomando inserisci il risultato e premi "
                         "invio e poi aspetta che io finisca di parlare e premi ancora invio per avere la domanda "
                         "successiva");
}

// A record file's content is shown whole unless it is absurdly long.
constexpr qsizetype longestShownCaption = 4096;

} // namespace

Tavola::Tavola(Agent &agent, Dialogs &dialogs, RandomSource &random, Controls controls, QWidget *parent)
    : QMainWindow(parent)
    , m_agent(agent)
    , m_dialogs(dialogs)
    , m_drill(*this, random)
{
    setObjectName(QStringLiteral("Tavola"));
    setWindowTitle(QString(83, u' ') + QStringLiteral("QUIZZOLO") + QString(31, u' ') + contactAddress
                   + QString(4, u' '));

    m_surface = new Surface(this);
    m_surface->setObjectName(QStringLiteral("client"));
    m_surface->setFixedSize(785, 556);
    QPalette pal = m_surface->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    m_surface->setPalette(pal);
    setCentralWidget(m_surface);
    connect(&m_practiceReader, &QFutureWatcher<FactWeights>::finished, this, &Tavola::practiceWeightsRead);

    if (controls == Controls::Now)
        build();
}

void Tavola::build()
{
    if (Text3)
        return;
    buildControls();
    buildMenu();
    setFixedSize(sizeHint());

    Text3->installEventFilter(this);
    connect(cmdNext, &QPushButton::clicked, this, [this] { guarded([this] { m_drill.nuovaDomanda(); }); });
    connect(Command3, &QPushButton::clicked, this, [this] { guarded([this] { m_drill.verifica(); }); });
    connect(cmdExit1, &QPushButton::clicked, this, [this] { guarded([this] { esci(); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { guarded([this] { tick(); }); });
}

Tavola::~Tavola()
{
    // A history still being read is waited for: the reading must not outlive its object.
    m_practiceReader.waitForFinished();
}

void Tavola::load()
{
    m_drill.resetCounts();

    const QString nome = m_dialogs.askText(QStringLiteral("Come ti chiami?"));
    const QDateTime partita = QDateTime::currentDateTime();  // the game starts as the dialog closes
    build();
    m_dialogs.message(QStringLiteral(" ") + nome + QStringLiteral(" vediamo se sei un vero campione  "));
    loadArtwork();

    setCaption(lblnome1, nome);
    if (lblnome1->text().isEmpty())
        setCaption(lblnome1, QStringLiteral("Amico"));
    Txtnome1->setText(lblnome1->text());
    // What the child chose last, on any computer of the class; a launcher's table wins.
    const Scelte::Partita scelta = scelte().perLaPartita(lblnome1->text());
    m_drill.setTabellina(m_tabellinaRichiesta.value_or(scelta.tabellina));
    buildTableMenu(scelta.ripasso);

    m_countdown.prepareTotal();
    lblconto->setText(m_countdown.display());
    Avviatimer();

    m_dirwin = GetSystemDir();
    m_history = std::make_unique<HistoryLog>(m_dirwin + QLatin1String(historyFileName), historyClassFolder());
    m_drill.recordAnswersTo(m_history.get(), partita);
    if (m_ripasso->isChecked())
        readPracticeWeights();
    loadRecord();

    m_agent.load(characterId, characterFile);
    AgentCharacter &merlin = character();
    stageCharacter(merlin, QStringLiteral("Announce"));
    merlin.Speak(introduction(m_drill.tabellina(), m_ripasso->isChecked()));

    hideProblem();
}

void Tavola::loadRecord()
{
    const RecordFiles files = recordFilesFor(m_drill.tabellina());
    createRecordFiles(m_dirwin, files);
    m_recordCaption = Leggifiletxt(m_dirwin + files.punti);
    setCaption(lblpunti, m_recordCaption.left(longestShownCaption));
    setCaption(lblnome, Leggifiletxt(m_dirwin + files.nome).left(longestShownCaption));
}

void Tavola::buildTableMenu(bool ripasso)
{
    QMenu *menu = menuBar()->addMenu(QStringLiteral("&Tabelline"));
    menu->setObjectName(QStringLiteral("Tabelline"));
    menu->setAccessibleDescription(QStringLiteral("Scegli la tabellina della partita"));
    menu->installEventFilter(this);
    m_tabelline = new QActionGroup(menu);
    m_tabelline->setExclusive(true);
    const auto add = [&](int tabellina, const QString &text) {
        QAction *entry = menu->addAction(text);
        entry->setObjectName(QStringLiteral("tabellina") + tabellinaCode(tabellina));
        entry->setCheckable(true);
        entry->setChecked(tabellina == m_drill.tabellina());
        entry->setData(tabellina);
        m_tabelline->addAction(entry);
    };
    for (int n = 2; n <= 10; ++n)
        add(n, QStringLiteral("Tabellina del &%1").arg(n));
    add(tutteLeTabelline, QStringLiteral("&Tutte le tabelline"));
    connect(m_tabelline, &QActionGroup::triggered, this, [this](QAction *entry) {
        guarded([this, entry] { cambiaTabellina(entry->data().toInt()); });
    });
    menu->addSeparator();
    m_ripasso = menu->addAction(QStringLiteral("&Ripasso mirato"));
    m_ripasso->setObjectName(QStringLiteral("ripassoMirato"));
    m_ripasso->setCheckable(true);
    m_ripasso->setChecked(ripasso);
    m_ripasso->setToolTip(QStringLiteral("Chiede più spesso i calcoli da ripassare"));
    connect(m_ripasso, &QAction::triggered, this, [this](bool checked) { guarded([this, checked] { cambiaRipasso(checked); }); });
    showTabellina();
}

// Every text that names the table names the one being played.
void Tavola::showTabellina()
{
    const int tabellina = m_drill.tabellina();
    m_credits->setTitle(QStringLiteral("Quizzolo: ") + tabellinaName(tabellina));
    m_credits->actions().constFirst()->setText(QStringLiteral("Un gioco per imparare ") + tabellinaName(tabellina));
    for (QAction *entry : m_tabelline->actions())
        entry->setChecked(entry->data().toInt() == tabellina);
}

void Tavola::cambiaTabellina(int tabellina)
{
    if (m_phase != Phase::Playing || tabellina == m_drill.tabellina()) {
        showTabellina();
        return;
    }
    scelte().cambia(lblnome1->text(), {tabellina, std::nullopt});
    // No tick may count the old game down behind the record's message.
    Timer1->stop();
    storeRecordIfBeaten();
    if (m_phase != Phase::Playing)
        return;

    // A new game for the same child: the record of its table, counters at 0, the clock at
    // seven minutes, the introduction, the first problem.
    m_drill.setTabellina(tabellina);
    showTabellina();
    loadRecord();
    for (QLabel *count : {lblScore, lblScore1, lblScore2})
        setCaption(count, QStringLiteral("0"));
    cmdNext->setEnabled(false);
    // The history tells games apart by their start, in whole seconds: a game changed
    // within the second it began starts on the next one.
    m_drill.recordAnswersTo(m_history.get(),
                            std::max(QDateTime::currentDateTime(), m_drill.partita().addSecs(1)));
    Avviatimer();
    if (m_ripasso->isChecked())
        readPracticeWeights();  // with the game just ended
    AgentCharacter &merlin = character();
    stageCharacter(merlin, QStringLiteral("Announce"));
    merlin.Speak(introduction(tabellina, m_ripasso->isChecked()));
    firstActivation();
}

void Tavola::cambiaRipasso(bool ripasso)
{
    scelte().cambia(lblnome1->text(), {std::nullopt, ripasso});
    if (ripasso)
        readPracticeWeights();
    else
        m_drill.setPracticeWeights(std::nullopt);
}

// Where the children's choices are: the class folder, or this account's configuration; the
// names a teacher joined are beside them.
Scelte Tavola::scelte()
{
    const QString classFolder = historyClassFolder();
    return Scelte(classFolder, joinsFileIn(classFolder.isEmpty() ? dataFolderPath() : classFolder));
}

void Tavola::readPracticeWeights()
{
    // Asked again while reading (a game just ended): read once more when this reading ends.
    if (m_practiceReader.isRunning()) {
        m_practiceAgain = true;
        return;
    }
    m_practiceAgain = false;
    // This computer's history and, in a school lab, the class's, where the child may have
    // played on other computers, each answer counted once; the names a teacher joined are
    // kept with the class (or beside this computer's history).
    const QString own = m_dirwin + QLatin1String(historyFileName);
    const QString classFolder = historyClassFolder();
    const HistorySources sources = classFolder.isEmpty() ? HistorySources{{own}, {}, {}, joinsFileIn(m_dirwin)}
                                                         : classSources(classFolder, own);
    const QString key = childKey(lblnome1->text());
    m_practiceReader.setFuture(QtConcurrent::run([sources, key] {
        const HistorySummary history = readHistoryFiles(sources);
        const auto child = history.children.constFind(history.joins.resolve(key));
        return practiceWeights(child == history.children.cend() ? nullptr : &*child);
    }));
}

void Tavola::practiceWeightsRead()
{
    if (m_ripasso->isChecked())
        m_drill.setPracticeWeights(m_practiceReader.result());
    if (m_practiceAgain)
        readPracticeWeights();
}

void Tavola::storeRecordIfBeaten()
{
    const double record = readNumber(m_recordCaption);
    const double punteggio = toNumber(lblScore->text());
    if (record >= punteggio)
        return;
    writeRecord(m_dirwin, lblScore->text(), lblnome1->text(), recordFilesFor(m_drill.tabellina()));
    m_dialogs.message(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\""));
}

void Tavola::Avviatimer()
{
    Timer1->start();
    m_countdown.start();
}

void Tavola::firstActivation()
{
    m_drill.nuovaDomanda();
    m_drill.resetCounts();
    lblconto->setText(QStringLiteral("00.07.00"));
}

void Tavola::tick()
{
    if (m_phase >= Phase::ClockStopped)
        return;
    switch (m_countdown.tick(lblconto->text())) {
    case Countdown::Tick::DisplayExpired:
        esci();
        return;
    case Countdown::Tick::TimeUp:
        // The clock stops with the game, so no tick repeats this behind the message.
        stopClock();
        m_dialogs.message(QStringLiteral("Tempo scaduto"));
        esci();
        return;
    case Countdown::Tick::Running:
        lblconto->setText(m_countdown.display());
        return;
    }
}

void Tavola::esci()
{
    // Leaving runs once: the clock stops so no tick starts it again behind its messages.
    if (m_phase >= Phase::Leaving)
        return;
    stopClock();
    advanceTo(Phase::Leaving);

    m_dialogs.message(QStringLiteral("Ciao. Ti aspetto per la prossima sfida "));
    storeRecordIfBeaten();
    end(0);
}

void Tavola::advanceTo(Phase phase)
{
    m_phase = std::max(m_phase, phase);
}

void Tavola::stopClock()
{
    advanceTo(Phase::ClockStopped);
    if (Timer1)
        Timer1->stop();
}

void Tavola::end(int status)
{
    if (m_phase == Phase::Ended)
        return;
    stopClock();
    advanceTo(Phase::Ended);
    hide();
    emit ended(status);
}

void Tavola::reportError(const RuntimeError &error)
{
    // The clock stops first: no tick may start the leaving steps behind the message box.
    stopClock();
    advanceTo(Phase::Leaving);
    reportRuntimeError(error, m_dialogs);
    end(error.exitStatus());
}

void Tavola::guarded(const std::function<void()> &handler)
{
    if (m_phase == Phase::Ended)
        return;
    try {
        handler();
    } catch (const RuntimeError &error) {
        reportError(error);
    }
}

bool Tavola::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_phase == Phase::Starting) {
        advanceTo(Phase::Playing);
        guarded([this] { firstActivation(); });
    } else if (event->type() == QEvent::Show && m_phase == Phase::Starting) {
        // A desktop that does not activate new windows must not leave the game unstarted
        // (the first tick would then end it): activation comes right after the first show.
        QTimer::singleShot(0, this, [this] {
            if (m_phase == Phase::Starting && isVisible()) {
                advanceTo(Phase::Playing);
                guarded([this] { firstActivation(); });
            }
        });
    }
    return QMainWindow::event(event);
}

void Tavola::closeEvent(QCloseEvent *event)
{
    // The close box ends the program with no farewell and no record.
    event->accept();
    end(0);
}

bool Tavola::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int code = answerKeyCode(key->key(), key->text(), key->modifiers());
        // Keys that type nothing edit as usual, except Alt and Meta ones: they are access keys.
        if (code == 0)
            return isAccessKeyChord(key->modifiers());
        guarded([this, code] { m_drill.tastoPremuto(code); });
        // Enter types nothing into the one-line box; every other character goes in as typed.
        return code == 13 || m_phase == Phase::Ended;
    }
    // A screen reader's keyboard listener holds each key back and has the accessibility
    // bridge send it again a moment later, not as input: the Alt of Alt+T then reaches the
    // menu it has just opened, and an Alt press closes a menu. Only real ones may.
    if (m_tabelline && watched == m_tabelline->parent() && event->type() == QEvent::KeyPress && !event->spontaneous()
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Alt)
        return true;
    return QMainWindow::eventFilter(watched, event);
}

QList<QWidget *> Tavola::keptInSight() const
{
    return {lblNum1, Label10, lblNum2, lblMessage, lblScore, lblScore1, lblScore2, Text3};
}

void Tavola::setCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    if (label->property("autosize").toBool())
        label->adjustSize();
}

void Tavola::hideProblem()
{
    lblNum1->hide();
    lblNum2->hide();
    Label10->hide();
}

void Tavola::showProblem()
{
    lblNum1->show();
    Label10->show();
    lblNum2->show();
}

void Tavola::enableNext()
{
    cmdNext->setEnabled(true);
    cmdNext->setFocus();
}

QString Tavola::text(const char *name) const
{
    const QWidget *control = m_surface->findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *box = qobject_cast<const QLineEdit *>(control))
        return box->text();
    qFatal("Tavola has no caption or text box named %s", name);
}

void Tavola::setText(const char *name, const QString &text)
{
    QWidget *control = m_surface->findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    if (auto *label = qobject_cast<QLabel *>(control))
        setCaption(label, text);
    else if (auto *box = qobject_cast<QLineEdit *>(control))
        box->setText(text);
    else
        qFatal("Tavola has no caption or text box named %s", name);
}

void Tavola::showVerdict(Rgb colour, const QString &text)
{
    QPalette pal = lblMessage->palette();
    pal.setColor(QPalette::WindowText, QColor(colour.red, colour.green, colour.blue));
    lblMessage->setPalette(pal);
    setCaption(lblMessage, text);
}

void Tavola::focusAnswer()
{
    Text3->setFocus();
}

void Tavola::paintGradient(const Question &question)
{
    m_surface->paintGradient(question);
}

void Tavola::clearDrawing()
{
    m_surface->clearDrawing();
}

AgentCharacter &Tavola::character()
{
    return m_agent.character(characterId);
}
