#include "agent/requestqueue.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The queue with a performer that records what it is asked and finishes on command.
class TestAgentQueue : public QObject
{
    Q_OBJECT

private slots:
    void nothingRunsInsideTheCall();
    void orderAcrossHandlers();
    void laterRequestWaitsForLongOne();
    void instantRequestsDoNotRecurse();
    void clearDropsOnlyWaiting();
};

static AgentRequest speak(const QString &text)
{
    return {AgentRequest::Kind::Speak, 0, 0, text};
}

void TestAgentQueue::nothingRunsInsideTheCall()
{
    QStringList done;
    RequestQueue queue([&](const AgentRequest &r) { done << r.text; });
    queue.enqueue(speak(u"uno"_s));
    QVERIFY(done.isEmpty());
    QVERIFY(!queue.isBusy());
    QTRY_COMPARE(done, QStringList{u"uno"_s});
}

void TestAgentQueue::orderAcrossHandlers()
{
    // Three "handlers" run on separate turns of the event loop, each issuing requests
    // while earlier ones are still being carried out.
    QStringList performed;
    RequestQueue *q = nullptr;
    RequestQueue queue([&](const AgentRequest &r) {
        performed << r.text;
        QTimer::singleShot(5, q, &RequestQueue::finishCurrent);
    });
    q = &queue;
    queue.enqueue(speak(u"introduzione"_s));
    QTimer::singleShot(0, this, [&] {
        for (const QString word : {u"2"_s, u"per"_s, u"sette"_s})
            queue.enqueue(speak(word));
    });
    QTimer::singleShot(1, this, [&] {
        queue.enqueue(speak(u"Esatto"_s));
        queue.enqueue(speak(u"14"_s));
    });
    QSignalSpy idle(&queue, &RequestQueue::idle);
    QTRY_COMPARE(performed.size(), 6);
    QCOMPARE(performed, QStringList({u"introduzione"_s, u"2"_s, u"per"_s, u"sette"_s, u"Esatto"_s, u"14"_s}));
    QTRY_COMPARE(idle.count(), 1);
}

void TestAgentQueue::laterRequestWaitsForLongOne()
{
    QStringList performed;
    RequestQueue queue([&](const AgentRequest &r) { performed << r.text; });
    queue.enqueue(speak(u"lunga"_s));
    QTRY_COMPARE(performed.size(), 1);
    queue.enqueue(speak(u"dopo"_s));
    QTest::qWait(50);
    QCOMPARE(performed.size(), 1);   // the first is still under way: nothing cuts it short
    QCOMPARE(queue.waiting(), 1);
    queue.finishCurrent();
    QTRY_COMPARE(performed.size(), 2);
    QCOMPARE(performed.last(), u"dopo"_s);
}

void TestAgentQueue::instantRequestsDoNotRecurse()
{
    int depth = 0;
    int deepest = 0;
    int count = 0;
    RequestQueue *q = nullptr;
    RequestQueue queue([&](const AgentRequest &) {
        ++depth;
        deepest = std::max(deepest, depth);
        ++count;
        q->finishCurrent();
        --depth;
    });
    q = &queue;
    for (int i = 0; i < 1000; ++i)
        queue.enqueue({AgentRequest::Kind::MoveTo, i, i});
    QTRY_COMPARE(count, 1000);
    QCOMPARE(deepest, 1);
}

void TestAgentQueue::clearDropsOnlyWaiting()
{
    QStringList performed;
    RequestQueue queue([&](const AgentRequest &r) { performed << r.text; });
    queue.enqueue(speak(u"in corso"_s));
    queue.enqueue(speak(u"in attesa"_s));
    QTRY_COMPARE(performed.size(), 1);
    queue.clear();
    queue.finishCurrent();
    QTest::qWait(20);
    QCOMPARE(performed, QStringList{u"in corso"_s});
    QVERIFY(!queue.isBusy());
}

QTEST_GUILESS_MAIN(TestAgentQueue)
#include "tst_agentqueue.moc"
