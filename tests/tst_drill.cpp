#include "storico/storico.h"
#include "support/tavolafixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The drill and the clock through the real window: problems, keys, the check,
// the countdown, and a whole game, with a recording character.
class TestDrill : public QObject
{
    Q_OBJECT

private slots:
    void firstProblemIsPosedOnActivation_data();
    void firstProblemIsPosedOnActivation();
    void gradientBandsAreOnScreen_data();
    void gradientBandsAreOnScreen();
    void keys_data();
    void keys();
    void verdicts_data();
    void verdicts();
    void timeAfterTheDictation_data();
    void timeAfterTheDictation();
    void praiseStepIsReadFromTheScoreCaption();
    void historyThatCannotBeWrittenLeavesTheGameAlone();
    void countsOverflowIsARunTimeError();
    void clockTicks();
    void timeUpLeavesOnce();
    void wholeGame();

private:
    static QStringList tail(const QStringList &log, qsizetype n) { return log.mid(log.size() - n); }
};

void TestDrill::firstProblemIsPosedOnActivation_data()
{
    QTest::addColumn<int>("tinta");
    QTest::addColumn<int>("fattore2");
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("tabellina");  // asked on the command line; 2 is no option at all
    QTest::addColumn<int>("fattore1");   // drawn third when every table is mixed
    QTest::addColumn<QString>("named");  // in the introduction
    QTest::newRow("2 x 1") << 3 << 1 << u"uno"_s << 2 << 2 << u"la tabellina del 2"_s;
    QTest::newRow("2 x 7") << 10 << 7 << u"sette"_s << 2 << 2 << u"la tabellina del 2"_s;
    QTest::newRow("2 x 10") << 1 << 10 << u"dieci"_s << 2 << 2 << u"la tabellina del 2"_s;
    QTest::newRow("3 x 4") << 2 << 4 << u"quattro"_s << 3 << 3 << u"la tabellina del 3"_s;
    QTest::newRow("7 x 8") << 5 << 8 << u"otto"_s << 7 << 7 << u"la tabellina del 7"_s;
    QTest::newRow("10 x 10") << 1 << 10 << u"dieci"_s << 10 << 10 << u"la tabellina del 10"_s;
    QTest::newRow("mixed: 9 x 6") << 4 << 6 << u"sei"_s << 0 << 9 << u"tutte le tabelline"_s;
    QTest::newRow("mixed: 2 x 3") << 4 << 3 << u"tre"_s << 0 << 2 << u"tutte le tabelline"_s;
}

void TestDrill::firstProblemIsPosedOnActivation()
{
    QFETCH(int, tinta);
    QFETCH(int, fattore2);
    QFETCH(QString, words);
    QFETCH(int, tabellina);
    QFETCH(int, fattore1);
    QFETCH(QString, named);
    TavolaFixture f;
    f.random.queue(tinta, fattore2);
    if (tabellina == 0)
        f.random.draws.push_back((fattore1 - 2) / 9.0 + 0.05);
    if (tabellina != 2)
        f.window->setTabellinaRichiesta(tabellina);
    QVERIFY(f.start());

    QCOMPARE(f.random.reseeds, 1);
    QCOMPARE(f.window->drill().question().tinta, tinta);
    QCOMPARE(f.text("Text1"), QString::number(fattore1));
    QCOMPARE(f.caption("lblNum1"), QString::number(fattore1));
    QCOMPARE(f.caption("lblNum2"), QString::number(fattore2));
    QCOMPARE(f.text("Text7"), QString::number(fattore1 * fattore2));
    QCOMPARE(f.text("Text6"), words);
    QCOMPARE(f.text("Text3"), u""_s);
    QCOMPARE(QApplication::focusWidget(), f.get("Text3"));
    QCOMPARE(f.caption("lblMessage"), u""_s);
    QCOMPARE(f.caption("lblconto"), u"00.07.00"_s);
    QCOMPARE(f.window->drill().esatte(), 0);
    QVERIFY(!f.get("cmdNext")->isEnabled());
    for (const char *hidden : {"lblNum1", "lblNum2", "Label10"})
        QVERIFY(!f.get(hidden)->isVisible());
    // Queued behind the introduction.
    QCOMPARE(tail(f.agent.log, 7), (QStringList{u"Show"_s, u"MoveTo 250 175"_s, u"Play Greet"_s, u"Height 205"_s,
                                                u"Speak "_s + QString::number(fattore1), u"Speak per"_s,
                                                u"Speak "_s + words}));
    QVERIFY(f.agent.log.at(5).startsWith(u"Speak Allora attenzione, iniziamo la nostra avventura con "_s + named
                                         + u". Io detto e tu scrivi"_s));
}

void TestDrill::gradientBandsAreOnScreen_data()
{
    QTest::addColumn<int>("tabellina");
    QTest::newRow("table of 2: red 40") << 2;
    QTest::newRow("table of 7: red 140") << 7;
    QTest::newRow("table of 10: red 200") << 10;
}

void TestDrill::gradientBandsAreOnScreen()
{
    QFETCH(int, tabellina);
    const int red = 20 * tabellina;
    TavolaFixture f;
    f.random.queue(4, 6);
    if (tabellina != 2)
        f.window->setTabellinaRichiesta(tabellina);
    QVERIFY(f.start());
    QWidget *client = f.window->centralWidget();
    const QImage shot = client->grab().toImage();
    const int h = client->height();
    // The column right of the answer box and under the clock is never covered by a control.
    for (int i = 70; i < 256; i += 5) {
        const int y = (2 * i + 1) * h / 512;
        QCOMPARE(shot.pixelColor(775, y), QColor(red, 80, i));
    }
    QCOMPARE(shot.pixelColor(775, h - 1), QColor(red, 80, 255));

    QTest::keyClick(f.get("Text3"), Qt::Key_1);
    const QImage cleared = client->grab().toImage();
    QCOMPARE(cleared.pixelColor(775, h / 2), client->palette().color(QPalette::Window));
}

void TestDrill::keys_data()
{
    QTest::addColumn<QList<int>>("keys"); // key combinations, pressed in turn on a fresh problem
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<int>("errate");
    QTest::addColumn<bool>("problemShown");
    auto keys = [](std::initializer_list<QKeyCombination> list) {
        QList<int> out;
        for (QKeyCombination k : list)
            out << k.toCombined();
        return out;
    };
    // Each key that counts, alone: it shows the problem.
    QTest::newRow("letter goes in and shows the problem") << keys({Qt::Key_A}) << u"a"_s << 0 << true;
    QTest::newRow("digit") << keys({Qt::Key_7}) << u"7"_s << 0 << true;
    QTest::newRow("backspace alone") << keys({Qt::Key_Backspace}) << u""_s << 0 << true;
    QTest::newRow("escape alone") << keys({Qt::Key_Escape}) << u""_s << 0 << true;
    QTest::newRow("ctrl+letter alone") << keys({Qt::CTRL | Qt::Key_B}) << u""_s << 0 << true;
    QTest::newRow("enter on an empty box is a wrong answer") << keys({Qt::Key_Return}) << u""_s << 1 << false;
    QTest::newRow("enter twice counts twice")
        << keys({Qt::Key_5, Qt::Key_Return, Qt::Key_Return}) << u"5"_s << 2 << false;
    QTest::newRow("keypad enter is enter")
        << keys({QKeyCombination(Qt::KeypadModifier, Qt::Key_Enter)}) << u""_s << 1 << false;
    QTest::newRow("ctrl+M is enter") << keys({Qt::CTRL | Qt::Key_M}) << u""_s << 1 << false;
    // Ctrl+Enter types a line feed (10): it counts as a key, but it is not Enter.
    QTest::newRow("ctrl+enter shows the problem, checks nothing")
        << keys({Qt::Key_3, Qt::CTRL | Qt::Key_Return}) << u"3"_s << 0 << true;
    QTest::newRow("ctrl+keypad enter likewise")
        << keys({QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter)}) << u""_s << 0 << true;
    // Keys that type nothing: no problem, nothing in the box, no answer.
    QTest::newRow("arrow keys") << keys({Qt::Key_Left}) << u""_s << 0 << false;
    QTest::newRow("delete") << keys({Qt::Key_Delete}) << u""_s << 0 << false;
    QTest::newRow("function key") << keys({Qt::Key_F2}) << u""_s << 0 << false;
    QTest::newRow("alt+N with its button disabled") << keys({Qt::ALT | Qt::Key_N}) << u""_s << 0 << false;
    QTest::newRow("alt+letter") << keys({Qt::ALT | Qt::Key_A}) << u""_s << 0 << false;
    QTest::newRow("alt+digit") << keys({Qt::ALT | Qt::Key_1}) << u""_s << 0 << false;
    QTest::newRow("alt+enter") << keys({Qt::ALT | Qt::Key_Return}) << u""_s << 0 << false;
    QTest::newRow("meta+letter") << keys({Qt::META | Qt::Key_A}) << u""_s << 0 << false;
    QTest::newRow("alt+N after a digit adds nothing")
        << keys({Qt::Key_4, Qt::ALT | Qt::Key_N}) << u"4"_s << 0 << true;
}

void TestDrill::keys()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, boxText);
    QFETCH(int, errate);
    QFETCH(bool, problemShown);
    TavolaFixture f;
    f.random.queue(2, 7);
    QVERIFY(f.start());
    for (int combined : keys) {
        const QKeyCombination k = QKeyCombination::fromCombined(combined);
        // The text the X platform gives: Ctrl+letter its control code, Delete 0x7F.
        QString text = QString(QChar::fromLatin1(QTest::keyToAscii(k.key())));
        if (k.key() >= Qt::Key_A && k.key() <= Qt::Key_Z)
            text = QChar((k.keyboardModifiers() & Qt::ControlModifier) ? k.key() - Qt::Key_A + 1
                                                                       : k.key() - Qt::Key_A + u'a');
        else if (k.key() == Qt::Key_Delete)
            text = QChar(0x7f);
        else if (text.at(0).isNull())
            text.clear();
        // The box, even after the focus moved.
        QTest::sendKeyEvent(QTest::Click, f.get("Text3"), k.key(), text, k.keyboardModifiers());
    }
    QCOMPARE(f.text("Text3"), boxText);
    QCOMPARE(f.window->drill().errate(), errate);
    QCOMPARE(f.caption("lblScore2"), QString::number(errate));
    for (const char *label : {"lblNum1", "lblNum2", "Label10"})
        QCOMPARE(f.get(label)->isVisible(), problemShown);
    // The gradient goes with the first key that counts.
    QWidget *client = f.window->centralWidget();
    const bool gradientShown = client->grab().toImage().pixelColor(775, client->height() / 2)
                               != client->palette().color(QPalette::Window);
    QCOMPARE(gradientShown, !problemShown && !errate);
    if (errate)
        QCOMPARE(f.caption("lblMessage"), u"Sbagliato!! 14"_s);
    QVERIFY(!f.get("cmdNext")->isEnabled() || errate);
}

void TestDrill::verdicts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("right");
    QTest::newRow("exact digits") << u"14"_s << true;
    QTest::newRow("separator and quote kept as typed") << u"1;4\""_s << false;
    QTest::newRow("leading zero") << u"014"_s << false;
    QTest::newRow("leading space") << u" 14"_s << false;
    QTest::newRow("trailing space") << u"14 "_s << false;
    QTest::newRow("words") << u"quattordici"_s << false;
    QTest::newRow("other digits") << u"41"_s << false;
}

void TestDrill::verdicts()
{
    QFETCH(QString, typed);
    QFETCH(bool, right);
    TavolaFixture f;
    f.random.queue(5, 7);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY(f.start());
    QTest::qSleep(20);  // the child thinks: the game is older than the next problem
    f.answer(typed);

    // The check appends its answer to the history, written by a worker thread.
    QByteArray history;
    QTRY_VERIFY((history = f.readFile(QString::fromLatin1(historyFileName))).count("\r\n") >= 2);
    QVERIFY(history.startsWith(QByteArray(historyHeader) + "\r\n"));
    history.remove(0, qstrlen(historyHeader) + 2);
    QVERIFY(history.endsWith("\r\n"));
    history.chop(2);
    const std::optional<HistoryEntry> entry = decodeHistoryLine(history);
    QVERIFY2(entry, history.constData());
    QCOMPARE(entry->nome, u"Mario"_s);
    QCOMPARE(entry->fattore, 7);
    QCOMPARE(entry->risposta, typed);
    QCOMPARE(entry->esatta, right);
    QVERIFY(before <= entry->partita && entry->partita <= entry->ora
            && entry->ora <= QDateTime::currentDateTime().addSecs(1));
    QVERIFY(entry->millisecondi >= 20 && entry->millisecondi <= before.msecsTo(entry->ora));
    QCOMPARE(entry->tabellina, 2);
    // The wizard has not said he is done: the time runs from the first key.
    QVERIFY(entry->dopoDettatura >= 0 && entry->dopoDettatura <= entry->millisecondi);

    auto *message = f.get<QLabel>("lblMessage");
    QCOMPARE(message->text(), right ? u"Esatto. Sei forte!!!"_s : u"Sbagliato!! 14"_s);
    QCOMPARE(message->palette().color(QPalette::WindowText), right ? QColor(0, 0, 255) : QColor(255, 0, 0));
    QCOMPARE(f.caption("lblScore"), right ? u"1"_s : u"0"_s);
    QCOMPARE(f.caption("lblScore1"), right ? u"0"_s : u"1"_s);
    QCOMPARE(f.caption("lblScore2"), u"1"_s);
    QCOMPARE(f.text("Text3"), typed);
    QVERIFY(f.get("cmdNext")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), f.get("cmdNext"));
    for (const char *hidden : {"lblNum1", "lblNum2", "Label10"})
        QVERIFY(!f.get(hidden)->isVisible());
    const QStringList spoken = right ? QStringList{u"Show"_s, u"MoveTo 250 175"_s, u"Height 205"_s,
                                                   u"Speak Esatto"_s, u"Speak 14"_s}
                                     : QStringList{u"Show"_s, u"MoveTo 250 175"_s, u"Play Greet"_s,
                                                   u"Height 205"_s, u"Speak Sbagliato"_s, u"Speak 14"_s};
    QCOMPARE(tail(f.agent.log, spoken.size()), spoken);

    // Enter on the focused button poses the next problem.
    f.random.queue(1, 3);
    QElapsedTimer sincePosed;
    sincePosed.start();
    f.pressEnterOnFocus();
    QCOMPARE(f.text("Text7"), u"6"_s);
    QCOMPARE(f.caption("lblMessage"), u""_s);
    QCOMPARE(QApplication::focusWidget(), f.get("Text3"));
    QCOMPARE(tail(f.agent.log, 1), QStringList{u"Speak tre"_s});

    // Its answer's time runs from when it was posed, not from the start of the game.
    f.answer(u"6"_s);
    const qint64 bound = sincePosed.elapsed();
    QTRY_VERIFY((history = f.readFile(QString::fromLatin1(historyFileName))).count("\r\n") >= 3);
    const std::optional<HistoryEntry> next = decodeHistoryLine(history.split('\n').at(2).chopped(1));
    QVERIFY2(next && next->millisecondi <= bound, history.constData());
}

void TestDrill::timeAfterTheDictation_data()
{
    QTest::addColumn<bool>("keyFirst");  // a key 60 ms before the wizard says he is done
    QTest::addColumn<bool>("said");      // the wizard says he is done
    QTest::newRow("done, then 60 ms to answer") << false << true;
    QTest::newRow("first key 60 ms before the end") << true << true;
    QTest::newRow("checked with no key before the end: unknown") << false << false;
}

// The time after the dictation runs from the wizard's last word or the first key,
// whichever comes first; the history keeps it with the table.
void TestDrill::timeAfterTheDictation()
{
    QFETCH(bool, keyFirst);
    QFETCH(bool, said);
    TavolaFixture f;
    f.window->setTabellinaRichiesta(7);
    QVERIFY(f.start());
    const auto done = std::exchange(f.agent.merlin().waitingForDone, nullptr);
    QVERIFY(done);
    QElapsedTimer clock;
    clock.start();
    if (keyFirst)
        QTest::keyClick(f.get("Text3"), Qt::Key_4);
    QTest::qWait(60);
    if (said) {
        done();
        f.answer(u"1"_s);
    } else {
        f.get<QPushButton>("Command3")->click();
    }
    const qint64 bound = clock.elapsed();
    f.window.reset();  // leaving writes what is still queued
    const QList<QByteArray> lines = f.readFile(QLatin1String(historyFileName)).split('\n');
    const std::optional<HistoryEntry> entry = decodeHistoryLine(lines.value(1).chopped(1));
    QVERIFY(entry);
    QCOMPARE(entry->tabellina, 7);
    const qint64 after = entry->dopoDettatura;
    QVERIFY2(!said ? after == -1 : keyFirst ? after >= 60 && after <= bound : after <= bound - 60, qPrintable(QString::number(after)));
}

void TestDrill::praiseStepIsReadFromTheScoreCaption()
{
    TavolaFixture f;
    f.random.queue(5, 7);
    QVERIFY(f.start());
    f.get<QLabel>("lblScore")->setText(u"13"_s);
    f.answer(u"14"_s);
    QCOMPARE(tail(f.agent.log, 4),
             (QStringList{u"Speak Giusto"_s, u"Speak 14"_s, u"Play domagic2"_s, u"Speak Sei in gamba"_s}));
    // The count itself is the window's, not the caption's.
    QCOMPARE(f.caption("lblScore"), u"1"_s);
}

void TestDrill::historyThatCannotBeWrittenLeavesTheGameAlone()
{
    TavolaFixture f;
    QVERIFY(QDir().mkpath(f.dataDir() + QLatin1String(historyFileName)));
    f.random.queue(5, 7);
    QVERIFY(f.start());
    f.dialogs.messages.clear();
    f.answer(u"14"_s);
    f.pressEnterOnFocus();
    f.answer(u"3"_s);
    QCOMPARE(f.caption("lblScore"), u"1"_s);
    QCOMPARE(f.caption("lblScore2"), u"2"_s);
    f.window.reset();  // the worker has tried every answer
    QCOMPARE(f.dialogs.messages, QStringList());
    QCOMPARE(f.ended->count(), 0);
    QVERIFY(QFileInfo(f.dataDir() + QLatin1String(historyFileName)).isDir());
}

void TestDrill::countsOverflowIsARunTimeError()
{
    TavolaFixture f;
    QVERIFY(f.start());
    auto *check = f.get<QPushButton>("Command3");
    for (int i = 0; i < 32767; ++i)
        f.window->drill().verifica();
    QCOMPARE(f.caption("lblScore1"), u"32767"_s);
    QCOMPARE(f.ended->count(), 0);
    check->click();
    QCOMPARE(f.ended->count(), 1);
    QCOMPARE(f.ended->at(0).at(0).toInt(), int(RuntimeError::Overflow));
    QCOMPARE(f.dialogs.messages.last(), u"Errore di run-time '6':\n\nOverflow"_s);
    QCOMPARE(f.caption("lblScore1"), u"32767"_s);
    // Every check that counted is in the history, and only those.
    f.window.reset();
    QCOMPARE(readHistory(f.dataDir() + QLatin1String(historyFileName)).entries, 32767);
}

void TestDrill::clockTicks()
{
    TavolaFixture f;
    f.window->load();
    // Before the first activation the display reads "00:00:00": a tick then would end the game.
    QCOMPARE(f.caption("lblconto"), u"00:00:00"_s);
    QVERIFY(f.showAndActivate());
    f.window->tick();
    QCOMPARE(f.caption("lblconto"), u"00:06:59"_s);
    QCOMPARE(f.window->countdown().totsecondi(), 419);
    for (int i = 2; i <= 60; ++i)
        f.window->tick();
    QCOMPARE(f.caption("lblconto"), u"00:06:00"_s);
    f.window->tick();
    QCOMPARE(f.caption("lblconto"), u"00:05:59"_s);
    QCOMPARE(f.ended->count(), 0);
}

void TestDrill::timeUpLeavesOnce()
{
    TavolaFixture f;
    QVERIFY(f.start());
    f.dialogs.messages.clear();
    // Ticks keep arriving while the farewell is open: the game is left once.
    f.dialogs.whileOpen = [&](const QString &) { f.window->tick(); };
    f.window->countdown().set(0, 0, 30, 0);
    f.window->tick();
    QCOMPARE(f.dialogs.messages,
             (QStringList{u"Tempo scaduto"_s, u"Ciao. Ti aspetto per la prossima sfida "_s}));
    QCOMPARE(f.ended->count(), 1);
    QVERIFY(!f.window->findChild<QTimer *>(u"Timer1"_s)->isActive());
}

void TestDrill::wholeGame()
{
    TavolaFixture f;
    f.dialogs.answer = u"Lucia"_s;
    f.writeRecord("12\r\n", "Anna\r\n");
    QVERIFY(f.start());
    f.dialogs.messages.clear();

    // Seven minutes: an answer every other second, one in five of them wrong.
    int answers = 0;
    for (int second = 1; second <= 421 && !f.window->hasEnded(); ++second) {
        if (second % 2 == 0 && second < 420) {
            const QString expected = QString::number(2 * f.caption("lblNum2").toInt());
            f.answer(++answers % 5 == 0 ? expected + u"0"_s : expected);
            QCOMPARE(f.caption("lblScore2"), QString::number(answers));
            f.pressEnterOnFocus(); // the next problem
        }
        f.window->tick();
        if (second == 420)
            QCOMPARE(f.caption("lblconto"), u"00:00:00"_s);
    }
    QVERIFY(f.window->hasEnded());
    const int right = answers - answers / 5;
    QCOMPARE(f.caption("lblScore"), QString::number(right));
    QCOMPARE(f.dialogs.messages, (QStringList{u"Ciao. Ti aspetto per la prossima sfida "_s,
                                              u"Ok ho registrato il tuo record, C A M P I O N E\""_s}));
    QCOMPARE(f.readFile(u"azorpeli.txt"_s), QByteArray::number(right) + "\r\n");
    QCOMPARE(f.readFile(u"nzorpeli.txt"_s), QByteArray("Lucia\r\n"));
    // Praise at the 3rd, 6th, 11th ... right answers, in the order of the game.
    const QStringList spoken = f.agent.spoken();
    QVERIFY(spoken.indexOf(u"Sei grande"_s) < spoken.indexOf(u"Sei forte"_s));
    QVERIFY(spoken.indexOf(u"Sei eccezionale"_s) > spoken.indexOf(u"Sei in gamba"_s));
    QCOMPARE(spoken.count(u"Lucia"_s), 5); // S = 3, 7, 12, 21, 26

    f.window.reset();  // leaving writes what is still queued
    const HistorySummary history = readHistory(f.dataDir() + QLatin1String(historyFileName));
    QCOMPARE(history.entries, answers);
    QCOMPARE(history.skipped, 0);
    QCOMPARE(history.names, QStringList{childKey(u"Lucia"_s)});
    const ChildReport &lucia = history.children[childKey(u"Lucia"_s)];
    QCOMPARE(lucia.games.size(), 1);
    QCOMPARE(lucia.games[0].right, right);
    QCOMPARE(lucia.games[0].wrong, answers / 5);
}

QTEST_MAIN(TestDrill)
#include "tst_drill.moc"
