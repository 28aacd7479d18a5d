#include "core/runtimeerror.h"
#include "countdown/countdown.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void wholeGame();
    void oneTick_data();
    void oneTick();
    void startAndTotal();
};

// Start-up as the window runs it, then one tick a second with what the label shows.
void TestCountdown::wholeGame()
{
    Countdown clock;
    clock.prepareTotal();
    QCOMPARE(clock.display(), u"00:00:00"_s);
    clock.start();

    QString label = u"00.07.00"_s;
    QStringList shown;
    for (int n = 1; n <= 420; ++n) {
        QCOMPARE(clock.tick(label), Countdown::Tick::Running);
        label = clock.display();
        shown << label;
        QCOMPARE(clock.totsecondi(), qint16(420 - n));
        QCOMPARE(int(clock.totsecondi()), 3600 * clock.ore() + 60 * clock.minuti() + int(clock.secondi()));
    }
    QCOMPARE(shown.first(), u"00:06:59"_s);
    QCOMPARE(shown.at(shown.indexOf(u"00:06:00"_s) + 1), u"00:05:59"_s);
    QCOMPARE(shown.at(shown.indexOf(u"00:01:00"_s) + 1), u"00:00:59"_s);
    QCOMPARE(shown.last(), u"00:00:00"_s);
    QCOMPARE(shown.count(u"00:00:00"_s), 1);

    QCOMPARE(clock.tick(label), Countdown::Tick::DisplayExpired);
    QCOMPARE(clock.totsecondi(), qint16(0));
    QCOMPARE(clock.display(), u"00:00:00"_s);
}

void TestCountdown::oneTick_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("ore");
    QTest::addColumn<int>("minuti");
    QTest::addColumn<float>("secondi");
    QTest::addColumn<int>("totsecondi");
    QTest::addColumn<Countdown::Tick>("result");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("totsecondiAfter");

    using T = Countdown::Tick;
    QTest::newRow("first tick reads the full-stop caption as running")
        << u"00.07.00"_s << 0 << 7 << 0.0f << 420 << T::Running << u"00:06:59"_s << 419;
    QTest::newRow("seconds count down within a minute")
        << u"00:05:30"_s << 0 << 5 << 30.0f << 330 << T::Running << u"00:05:29"_s << 329;
    QTest::newRow("minute boundary borrows a minute")
        << u"00:01:00"_s << 0 << 1 << 0.0f << 60 << T::Running << u"00:00:59"_s << 59;
    QTest::newRow("hour boundary borrows an hour")
        << u"01:00:00"_s << 1 << 0 << 0.0f << 3600 << T::Running << u"00:59:59"_s << 3599;
    QTest::newRow("the longest clock the total can hold")
        << u"09:06:07"_s << 9 << 6 << 7.0f << 32767 << T::Running << u"09:06:06"_s << 32766;
    QTest::newRow("last second reaches zero")
        << u"00:00:01"_s << 0 << 0 << 1.0f << 1 << T::Running << u"00:00:00"_s << 0;
    QTest::newRow("zero display expires with time left on the total")
        << u"00:00:00"_s << 0 << 5 << 0.0f << 300 << T::DisplayExpired << u"00:05:00"_s << 300;
    QTest::newRow("zero display expires before a spent total is tested")
        << u"00:00:00"_s << 0 << 0 << 0.0f << 0 << T::DisplayExpired << u"00:00:00"_s << 0;
    QTest::newRow("spent total ends the game under another display")
        << u"00:00:07"_s << 0 << 0 << 7.0f << 0 << T::TimeUp << u"00:00:07"_s << 0;
    QTest::newRow("negative total ends the game at the smallest count")
        << u"00.07.00"_s << 0 << 7 << 0.0f << -32768 << T::TimeUp << u"00:07:00"_s << -32768;
    QTest::newRow("zero with full stops is not the end display")
        << u"00.00.00"_s << 0 << 0 << 0.0f << 0 << T::TimeUp << u"00:00:00"_s << 0;
    QTest::newRow("zero with a trailing space is not the end display")
        << u"00:00:00 "_s << 0 << 0 << 5.0f << 5 << T::Running << u"00:00:04"_s << 4;
    QTest::newRow("empty clock with time on the total goes below zero seconds")
        << u"00:00:03"_s << 0 << 0 << 0.0f << 3 << T::Running << u"00:00:-01"_s << 2;
}

// One tick from a clock set by hand: what it returns, shows and leaves in the total.
void TestCountdown::oneTick()
{
    QFETCH(QString, label);
    QFETCH(int, ore);
    QFETCH(int, minuti);
    QFETCH(float, secondi);
    QFETCH(int, totsecondi);
    QFETCH(Countdown::Tick, result);
    QFETCH(QString, display);
    QFETCH(int, totsecondiAfter);

    Countdown clock;
    clock.set(qint16(ore), qint16(minuti), secondi, qint16(totsecondi));
    QCOMPARE(clock.tick(label), result);
    QCOMPARE(clock.display(), display);
    QCOMPARE(int(clock.totsecondi()), totsecondiAfter);
}

void TestCountdown::startAndTotal()
{
    Countdown clock;
    clock.set(3, 4, 5, 6);
    clock.start();
    QCOMPARE(clock.display(), u"00:07:00"_s);
    QCOMPARE(clock.totsecondi(), qint16(420));

    clock.set(0, 0, 30.5f, 0);
    clock.prepareTotal();
    QCOMPARE(clock.totsecondi(), qint16(450)); // half rounds to even

    clock.set(0, 0, 32347.0f, 0);
    clock.prepareTotal();
    QCOMPARE(clock.totsecondi(), qint16(32767));

    clock.set(0, 0, 32348.0f, 100);
    try {
        clock.prepareTotal();
        QFAIL("a total above 32767 must overflow");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::Overflow));
    }
    QCOMPARE(clock.totsecondi(), qint16(100));
}

QTEST_GUILESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
