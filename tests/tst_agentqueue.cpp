#include "agent/requestqueue.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The queue with a performer that records what it is asked and finishes on command.
class TestAgentQueue : public QObject
{
    Q_OBJECT

private slots:
    void nothingRunsInsideTheCall();
    void laterRequestWaitsForLongOne();
    void instantRequestsDoNotRecurse();
    void clearDropsOnlyWaiting();
};

static AgentRequest speak(const QString &text)
{
    return {.kind = AgentRequest::Kind::Speak, .text = text};
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
    QSignalSpy idle(&queue, &RequestQueue::idle);
    for (int i = 0; i < 1000; ++i)
        queue.enqueue({.kind = AgentRequest::Kind::MoveTo, .x = i, .y = i});
    QTRY_COMPARE(count, 1000);
    QCOMPARE(deepest, 1);
    QCOMPARE(idle.count(), 1);   // once, when the last is done
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
