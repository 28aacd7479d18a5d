#include "speech/characterfile.h"
#include "app/tavola.h"
#include "core/runtimeerror.h"
#include "speech/desktop/characterwindow.h"
#include "speech/desktop/desktopagent.h"
#include "speech/desktop/desktopcharacter.h"
#include "speech/desktop/espeakvoice.h"
#include "speech/desktop/espeakworker.h"
#include "speech/desktop/placement.h"
#include "speech/desktop/wordballoon.h"
#include "support/tavolafixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString FixedPath = u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s;
const QString Introduction =
    u"Allora attenzione, iniziamo la nostra avventura con la tabellina del 2. Io detto e tu scrivi il risultato "
    "nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta che io finisca di "
    "parlare e premi ancora invio per avere la domanda successiva"_s;

// What the character carried out, in order, with when each request began and ended.
struct Timeline
{
    struct Step
    {
        AgentRequest::Kind kind;
        QString text;
        qint64 startMs = -1;
        qint64 endMs = -1;
    };
    QList<Step> steps;
    QElapsedTimer clock;

    explicit Timeline(DesktopCharacter &character)
    {
        clock.start();
        QObject::connect(&character.queue(), &RequestQueue::started, &character.queue(), [this](const AgentRequest &r) {
            steps.append({r.kind, r.text, clock.elapsed()});
        });
        QObject::connect(&character.queue(), &RequestQueue::finished, &character.queue(), [this](const AgentRequest &) {
            steps.last().endMs = clock.elapsed();
        });
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Step &s : steps)
            out << s.text;
        return out;
    }
};

std::unique_ptr<DesktopAgent> silentAgent(const QString &folder = {})
{
    return std::make_unique<DesktopAgent>(DesktopAgent::Options{folder, true});
}

} // namespace

class TestAgent : public QObject
{
    Q_OBJECT

private slots:
    void loadErrors_data();
    void loadErrors();
    void unknownCharacter();
    void animationNames_data();
    void animationNames();
    void callsReturnBeforeWork();
    void orderAcrossHandlers();
    void silentSpeechKeepsThePace_data();
    void silentSpeechKeepsThePace();
    void everyTextIsShown_data();
    void everyTextIsShown();
    void animationsTakeTheirTime();
    void windowFollowsRequests();
    void placement_data();
    void placement();
    void standsAboveTheAnswerBox();
    void leavingEndsAtOnce();
    void soundMadeAheadIsBounded();
};

void TestAgent::loadErrors_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("acs");        // written as Merlin.acs in a fresh folder; null = none
    QTest::addColumn<QByteArray>("svg");        // written as Merlin.svg beside it
    QTest::addColumn<int>("number");

    QFile shipped(DesktopAgent::defaultCharactersFolder() + u"/Merlin.acs"_s);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const QByteArray acs = shipped.readAll();
    QFile artwork(DesktopAgent::defaultCharactersFolder() + u"/Merlin.svg"_s);
    QVERIFY(artwork.open(QIODevice::ReadOnly));
    const QByteArray svg = artwork.readAll();

    QTest::newRow("the fixed path loads") << FixedPath << acs << svg << 0;
    QTest::newRow("a file elsewhere is not found") << u"C:\\Merlin.acs"_s << acs << svg << int(RuntimeError::FileNotFound);
    QTest::newRow("a local path is not found")
        << u"/tmp/Merlin.acs"_s << acs << svg << int(RuntimeError::FileNotFound);
    QTest::newRow("missing character file") << FixedPath << QByteArray() << svg << int(RuntimeError::FileNotFound);
    QTest::newRow("truncated character file")
        << FixedPath << acs.left(acs.size() / 2) << svg << int(RuntimeError::BadFileFormat);
    QTest::newRow("artwork that is not SVG") << FixedPath << acs << QByteArray("GIF89a") << int(RuntimeError::BadFileFormat);
    QByteArray noMouth = svg;
    noMouth.replace("id=\"mouth-open\"", "id=\"mouth-gone\"");
    QTest::newRow("artwork without an element it needs") << FixedPath << acs << noMouth << int(RuntimeError::BadFileFormat);
}

void TestAgent::loadErrors()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, acs);
    QFETCH(QByteArray, svg);
    QFETCH(int, number);
    QTemporaryDir dir;
    auto write = [&dir](const QString &name, const QByteArray &data) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    if (!acs.isNull())
        write(u"Merlin.acs"_s, acs);
    write(u"Merlin.svg"_s, svg);
    auto agent = silentAgent(dir.path());
    try {
        agent->load(u"Merlin"_s, file);
        QCOMPARE(0, number);
        agent->character(u"Merlin"_s);
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), number);
        QVERIFY(!e.description().isEmpty());
        // A failed load leaves no character behind.
        QVERIFY_THROWS_EXCEPTION(RuntimeError, agent->character(u"Merlin"_s));
    }
}

void TestAgent::unknownCharacter()
{
    auto agent = silentAgent();
    try {
        agent->character(u"Merlin"_s);
        QFAIL("a character that was never loaded was handed out");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::InvalidArgument));
    }
    agent->load(u"Merlin"_s, FixedPath);
    QCOMPARE(&agent->character(u"merlin"_s), &agent->character(u"Merlin"_s));
    try {
        agent->character(u"Genie"_s);
        QFAIL("an unknown id was handed out");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::InvalidArgument));
    }
    try {
        agent->load(u"MERLIN"_s, FixedPath);
        QFAIL("the same id was loaded twice");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::InvalidArgument));
    }
}

void TestAgent::animationNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("known");
    // Which names match is the character file's test; here, what Play does with them.
    QTest::newRow("a name it has") << u"GREET"_s << true;
    QTest::newRow("an animation it lacks") << u"Fly"_s << false;
}

void TestAgent::animationNames()
{
    QFETCH(QString, name);
    QFETCH(bool, known);
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    merlin.Show();
    try {
        merlin.Play(name);
        QVERIFY(known);
    } catch (const RuntimeError &e) {
        // The error reaches the caller at once, and the request is not queued.
        QVERIFY(!known);
        QCOMPARE(e.number(), int(RuntimeError::InvalidArgument));
        QVERIFY2(e.description().contains(name), qPrintable(e.description()));
    }
    QCOMPARE(merlin.queue().waiting(), known ? 2 : 1);
}

void TestAgent::callsReturnBeforeWork()
{
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    QSignalSpy started(&merlin.queue(), &RequestQueue::started);
    const QPoint before = merlin.window().pos();
    merlin.Show();
    merlin.MoveTo(250, 175);
    merlin.Play(u"Announce"_s);
    merlin.setHeight(205);
    merlin.Speak(Introduction);
    QCOMPARE(started.count(), 0);
    QVERIFY(!merlin.window().isVisible());
    QCOMPARE(merlin.window().pos(), before);
    QVERIFY(!merlin.balloon().isVisible());
    QTRY_VERIFY(merlin.balloon().isVisible());
    QCOMPARE(started.count(), 5);
}

void TestAgent::orderAcrossHandlers()
{
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    Timeline timeline(merlin);
    QStringList expected;
    auto issue = [&](const QStringList &words) {
        AgentCharacter &c = agent->character(u"Merlin"_s);
        c.Show();
        c.MoveTo(250, 175);
        c.Play(u"Greet"_s);
        c.setHeight(205);
        expected << QString() << QString() << u"Greet"_s << QString();
        for (const QString &w : words) {
            c.Speak(w);
            expected << w;
        }
    };
    // Start-up, then the first problem on a later event, then a verdict while the
    // problem is still being said.
    agent->character(u"Merlin"_s).Speak(u"Allora attenzione, iniziamo"_s);
    expected << u"Allora attenzione, iniziamo"_s;
    // The problem's last word done is told before the verdict begins.
    qsizetype startedWhenSaid = -1;
    QTimer::singleShot(0, this, [&] {
        issue({u"2"_s, u"per"_s, u"sette"_s});
        agent->character(u"Merlin"_s).whenDone([&] { startedWhenSaid = timeline.steps.size(); });
    });
    QTimer::singleShot(10, this, [&] { issue({u"Esatto"_s, u"14"_s}); });
    QTRY_COMPARE_WITH_TIMEOUT(timeline.steps.size(), expected.size(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(timeline.steps.last().endMs >= 0, 30000);
    QCOMPARE(timeline.texts(), expected);
    QCOMPARE(startedWhenSaid, expected.indexOf(u"sette"_s) + 1);
    for (qsizetype i = 1; i < timeline.steps.size(); ++i)
        QVERIFY2(timeline.steps.at(i).startMs >= timeline.steps.at(i - 1).endMs, qPrintable(timeline.steps.at(i).text));
}

void TestAgent::silentSpeechKeepsThePace_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("one word") << u"sette"_s;
    QTest::newRow("a number in digits") << u"14"_s;
    QTest::newRow("a sentence with accents") << u"Bravo, è giusto! Sei più forte di me."_s;
    QTest::newRow("the introduction") << Introduction;
}

void TestAgent::silentSpeechKeepsThePace()
{
    QFETCH(QString, text);
    const CharacterFile file = CharacterFile::read(DesktopAgent::defaultCharactersFolder() + u"/Merlin.acs"_s);
    const Utterance spoken = EspeakWorker::shared()->synthesizeNow(text, file.voice);
    QVERIFY(spoken.durationMs() > 0);

    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    QVERIFY(merlin.voice().isSilent());
    merlin.Show();
    Timeline timeline(merlin);
    QStringList marked;
    connect(&merlin.voice(), &VoiceEngine::wordReached, this, [&](qsizetype position, qsizetype length) {
        marked << text.mid(position, length);
        QCOMPARE(merlin.balloon().markedWord(), text.mid(position, length));
    });
    merlin.Speak(text);
    QTRY_VERIFY_WITH_TIMEOUT(timeline.steps.size() == 2 && timeline.steps.last().endMs >= 0, 60000);
    const Timeline::Step &step = timeline.steps.last();
    // Not before the voice would have ended (espeak-ng's length of a text varies by a few
    // milliseconds from one synthesis to the next); the upper bound only catches a stall.
    QVERIFY2(step.endMs - step.startMs >= spoken.durationMs() * 97 / 100,
             qPrintable(u"%1 ms for %2 ms of speech"_s.arg(step.endMs - step.startMs).arg(spoken.durationMs())));
    QVERIFY(step.endMs - step.startMs < spoken.durationMs() + 5000);
    QCOMPARE(marked.size(), spoken.words.size());
    for (const QString &word : std::as_const(marked))
        QVERIFY2(!word.isEmpty() && !word.contains(u' '), qPrintable(word));
    QCOMPARE(merlin.balloon().text(), text);
    QTRY_VERIFY(!merlin.balloon().isVisible());
}

void TestAgent::everyTextIsShown_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("a name of exclamation marks") << u"!!!"_s;
    QTest::newRow("a name of spaces") << u"   "_s;
    QTest::newRow("dots") << u"..."_s;
    QTest::newRow("a symbol") << u"&"_s;
    QTest::newRow("nothing at all is skipped") << QString();
}

void TestAgent::everyTextIsShown()
{
    QFETCH(QString, text);
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    merlin.Show();
    Timeline timeline(merlin);
    QStringList shown; // what the balloon shows as each text ends
    connect(&merlin.queue(), &RequestQueue::finished, this, [&](const AgentRequest &r) {
        if (r.kind == AgentRequest::Kind::Speak)
            shown << (merlin.balloon().isVisible() ? merlin.balloon().text() : u"<none>"_s);
    });
    merlin.Speak(text);
    merlin.Speak(u"sei"_s);
    QTRY_VERIFY_WITH_TIMEOUT(timeline.steps.size() == 3 && timeline.steps.last().endMs >= 0, 20000);
    QCOMPARE(timeline.texts().mid(1), (QStringList{text, u"sei"_s}));
    const Timeline::Step &step = timeline.steps.at(1);
    if (text.isEmpty()) {
        QVERIFY(step.endMs - step.startMs < 100);
    } else {
        // In the balloon, for at least the time of a short word, before the next text.
        QVERIFY2(step.endMs - step.startMs >= 350, qPrintable(QString::number(step.endMs - step.startMs)));
        QVERIFY(step.endMs - step.startMs < 5000);
    }
    QCOMPARE(shown, (QStringList{text.isEmpty() ? u"<none>"_s : text, u"sei"_s}));
}

void TestAgent::animationsTakeTheirTime()
{
    const CharacterFile file = CharacterFile::read(DesktopAgent::defaultCharactersFolder() + u"/Merlin.acs"_s);
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    Timeline timeline(merlin);
    merlin.Show();
    for (const CharacterAnimation &a : file.animations)
        merlin.Play(a.name.toLower());
    QTRY_VERIFY_WITH_TIMEOUT(timeline.steps.size() == 6 && timeline.steps.last().endMs >= 0, 30000);
    for (qsizetype i = 0; i < file.animations.size(); ++i) {
        const Timeline::Step &step = timeline.steps.at(i + 1);
        QCOMPARE(step.text, file.animations.at(i).name);
        QVERIFY(step.endMs - step.startMs >= file.animations.at(i).durationMs() - 20);
    }
    QVERIFY(!merlin.window().isAnimating());
}

void TestAgent::windowFollowsRequests()
{
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    AgentCharacter &c = agent->character(u"Merlin"_s);
    c.Show();
    c.MoveTo(250, 175);
    c.setHeight(205);
    c.Speak(u"due"_s);
    QTRY_VERIFY(merlin.balloon().isVisible());
    CharacterWindow &window = merlin.window();
    QVERIFY(window.isVisible());
    QCOMPARE(window.pos(), QPoint(250, 175));
    QCOMPARE(window.height(), 205);
    QCOMPARE(window.width(), qRound(205 * 170 / 250.0));
    QVERIFY(window.testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // Shaped to the figure: corners of the frame are outside it, the middle inside.
    if (window.isShaped()) {
        QVERIFY(!window.mask().contains(QPoint(1, 1)));
        QVERIFY(window.mask().contains(QPoint(window.width() / 2, window.height() * 3 / 4)));
    }
    // The balloon stands beside the character, on the screen.
    const QRect balloon = merlin.balloon().frameGeometry();
    QVERIFY(balloon.bottom() <= window.y() + window.height() / 3 || balloon.top() >= window.y() + window.height() / 2);
    QVERIFY(balloon.right() >= window.x() && balloon.left() <= window.x() + window.width());
}

void TestAgent::placement_data()
{
    QTest::addColumn<QPoint>("requested");
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<QPoint>("clientOrigin");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QPoint>("expected");
    const QSize merlin(139, 205);
    const QRect hd(0, 0, 1920, 1080);
    QTest::newRow("the window centred on 800x600: the point as given")
        << QPoint(250, 175) << true << QPoint(7, 41) << QRect(0, 0, 800, 600) << QPoint(250, 175);
    QTest::newRow("centred on 1280x1024") << QPoint(250, 175) << true << QPoint(247, 243) << QRect(0, 0, 1280, 1024)
                                          << QPoint(490, 377);
    QTest::newRow("centred on 1920x1080") << QPoint(250, 175) << true << QPoint(567, 271) << hd << QPoint(810, 405);
    QTest::newRow("a second screen to the right")
        << QPoint(250, 175) << true << QPoint(2167, 271) << QRect(1920, 0, 1920, 1080) << QPoint(2410, 405);
    QTest::newRow("no window: a screen point") << QPoint(250, 175) << false << QPoint() << hd << QPoint(250, 175);
    QTest::newRow("window dragged off the left: kept on screen")
        << QPoint(250, 175) << true << QPoint(-400, 100) << hd << QPoint(0, 234);
    QTest::newRow("window dragged below the bottom: kept on screen")
        << QPoint(250, 175) << true << QPoint(600, 1000) << hd << QPoint(843, 1080 - merlin.height());
    QTest::newRow("a point past the right edge, no window")
        << QPoint(1900, -20) << false << QPoint() << hd << QPoint(1920 - merlin.width(), 0);
    QTest::newRow("a screen smaller than the character keeps its corner on it")
        << QPoint(250, 175) << false << QPoint() << QRect(0, 0, 100, 100) << QPoint(0, 0);
    QTest::newRow("no screen known: no bound") << QPoint(5000, -70) << false << QPoint() << QRect() << QPoint(5000, -70);
}

void TestAgent::placement()
{
    QFETCH(QPoint, requested);
    QFETCH(bool, windowShown);
    QFETCH(QPoint, clientOrigin);
    QFETCH(QRect, screen);
    QFETCH(QPoint, expected);
    const std::optional<QPoint> origin = windowShown ? std::optional<QPoint>(clientOrigin) : std::nullopt;
    QCOMPARE(characterPosition(requested, origin, QSize(139, 205), screen), expected);
    if (!windowShown)
        return;

    // The introduction's four lines while the child, typing, shows the problem under the
    // verdict of the last answer: the balloon leaves all of it in sight, beside the wizard.
    TavolaFixture f;
    QVERIFY(f.start());
    f.answer(u"3"_s);
    QTest::keyClick(f.get("Text3"), Qt::Key_1);
    QList<QRect> kept;
    for (const QWidget *control : f.window->keptInSight()) {
        QVERIFY(control->isVisible());
        kept << QRect(clientOrigin + control->pos(), control->size());
    }
    const QRect wizard(expected, QSize(139, 205));
    const QSize body(300, 100);
    const BalloonPlace place = balloonPlace(wizard, body, 16, screen, kept);
    QVERIFY(screen.contains(place.frame));
    for (const QRect &control : std::as_const(kept))
        QVERIFY2(place.frame.intersected(control).isEmpty(), qPrintable(u"%1,%2"_s.arg(control.x()).arg(control.y())));
    QVERIFY(place.frame.adjusted(-1, -1, 1, 1).intersects(wizard));
}

void TestAgent::standsAboveTheAnswerBox()
{
    // The real window with the real character: the first problem is posed on activation.
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    ScriptedDialogs dialogs;
    ScriptedRandom random;
    random.queue(3, 7);
    Tavola window(*agent, dialogs, random);
    QWidget *client = window.centralWidget();
    agent->setAnchor(client, window.keptInSight());
    // Wherever the window stands.
    window.move(20, 30);
    QList<QPair<QString, QRect>> balloons;
    connect(&merlin.queue(), &RequestQueue::finished, this, [&](const AgentRequest &r) {
        if (r.kind == AgentRequest::Kind::Speak)
            balloons.append({merlin.balloon().text(), merlin.balloon().frameGeometry()});
    });
    window.show();
    window.activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(balloons.size(), 3, 20000);

    // Right of the score panel, right above the answer box, left of the verdict.
    const QRect wizard = merlin.window().frameGeometry().translated(-client->mapToGlobal(QPoint(0, 0)));
    QCOMPARE(wizard.topLeft(), QPoint(243, 134));
    QCOMPARE(wizard.height(), 205);
    auto rectOf = [&](const char *name) {
        QWidget *w = window.findChild<QWidget *>(QLatin1String(name));
        return QRect(w->mapTo(client, QPoint(0, 0)), w->size());
    };
    QVERIFY(wizard.left() > rectOf("Shape4").right());
    QVERIFY(wizard.right() < rectOf("lblMessage").left());
    QVERIFY(wizard.top() > rectOf("lblNum1").bottom());
    QVERIFY(qAbs(wizard.bottom() - rectOf("Text3").top()) <= 8);

    // The problem's words leave the problem, the verdict and the counters in sight.
    QCOMPARE(balloons.at(0).first, u"2"_s);
    QCOMPARE(balloons.at(2).first, u"sette"_s);
    for (const auto &[text, onScreen] : std::as_const(balloons)) {
        const QRect balloon = onScreen.translated(-client->mapToGlobal(QPoint(0, 0)));
        for (const char *name : {"lblNum1", "Label10", "lblNum2", "lblMessage", "lblScore", "lblScore1", "lblScore2"})
            QVERIFY2(!balloon.intersects(rectOf(name)), qPrintable(text + u" covers "_s + QLatin1String(name)));
    }

    // Dragged, the window takes the wizard along at the next MoveTo; closed, it does not.
    window.move(window.pos() + QPoint(-10, 25));
    merlin.MoveTo(250, 175);
    QTRY_COMPARE(merlin.window().pos(), client->mapToGlobal(QPoint(243, 134)));
    window.hide();
    merlin.MoveTo(250, 175);
    QTRY_COMPARE(merlin.window().pos(), QPoint(250, 175));

    // The introduction's balloon stands above his head, over the hidden problem; the
    // child's first key shows the problem, and the balloon moves beside him at once.
    window.show();
    merlin.MoveTo(250, 175);
    merlin.Speak(Introduction);
    QTRY_COMPARE(merlin.balloon().text(), Introduction);
    const auto balloonNow = [&] {
        return merlin.balloon().frameGeometry().translated(-client->mapToGlobal(QPoint(0, 0)));
    };
    QVERIFY(balloonNow().bottom() <= wizard.top() + 4);
    QVERIFY(balloonNow().intersects(rectOf("lblNum1").united(rectOf("lblNum2"))));
    QTest::keyClick(window.findChild<QWidget *>(u"Text3"_s), Qt::Key_1);
    QVERIFY(window.findChild<QWidget *>(u"lblNum1"_s)->isVisible());
    for (const char *name : {"lblNum1", "Label10", "lblNum2", "lblMessage", "lblScore", "lblScore1", "lblScore2", "Text3"})
        QVERIFY2(balloonNow().intersected(rectOf(name)).isEmpty(), name);
    QVERIFY(balloonNow().left() >= wizard.right() - 4 && balloonNow().top() < wizard.bottom());
}

void TestAgent::leavingEndsAtOnce()
{
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    AgentCharacter &c = agent->character(u"Merlin"_s);
    c.Show();
    c.Speak(Introduction);
    for (int i = 0; i < 20; ++i)
        c.Speak(Introduction + QString::number(i));
    QSignalSpy words(&merlin.voice(), &VoiceEngine::wordReached);
    QTRY_VERIFY(words.count() > 0);
    QElapsedTimer clock;
    clock.start();
    agent.reset();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!w->isVisible());
    QTest::qWait(50);   // nothing queued may still run
}

void TestAgent::soundMadeAheadIsBounded()
{
    // A child hammering Enter: thousands of problems and verdicts wait their turn. Only
    // the next two have their sound made; the rest hold no more than their text.
    auto agent = silentAgent();
    agent->load(u"Merlin"_s, FixedPath);
    DesktopCharacter &merlin = agent->desktopCharacter(u"Merlin"_s);
    EspeakVoice &voice = merlin.voice();
    const CharacterFile file = CharacterFile::read(DesktopAgent::defaultCharactersFolder() + u"/Merlin.acs"_s);
    const qint64 longest = EspeakWorker::shared()->synthesizeNow(Introduction, file.voice).pcm.size();
    QVERIFY(longest > 0);
    constexpr int Requests = 2000;
    const QStringList texts{u"Esatto"_s, u"14"_s, u"2 per 7"_s, Introduction, u"Sbagliato, riprova"_s};
    QList<qsizetype> aheadAtEachStart;
    connect(&voice, &VoiceEngine::audioStarted, this, [&] {
        aheadAtEachStart << voice.utterancesAhead();
        QVERIFY(voice.bytesAhead() <= 2 * longest);
    });
    for (int i = 0; i < Requests; ++i)
        merlin.Speak(texts.at(i % texts.size()));
    QCOMPARE(voice.utterancesAhead(), 2);
    QVERIFY(voice.bytesAhead() <= 2 * longest);
    // While one text is heard the next two are made, and each text said lets one more
    // be made.
    QTRY_VERIFY_WITH_TIMEOUT(aheadAtEachStart.size() >= 4, 20000);
    QCOMPARE(aheadAtEachStart, QList<qsizetype>(aheadAtEachStart.size(), 2));
    QTRY_VERIFY(voice.bytesAhead() > 0);
    QCOMPARE(voice.utterancesAhead(), 2);
    QVERIFY(voice.bytesAhead() <= 2 * longest);
    QCOMPARE(merlin.queue().waiting(), Requests - aheadAtEachStart.size());
}

QTEST_MAIN(TestAgent)
#include "tst_agent.moc"
