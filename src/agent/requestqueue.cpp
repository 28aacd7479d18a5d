#include "agent/requestqueue.h"

#include <QMetaObject>

RequestQueue::RequestQueue(Performer performer, QObject *parent)
    : QObject(parent)
    , m_performer(std::move(performer))
{
}

void RequestQueue::enqueue(const AgentRequest &request)
{
    m_waiting.append(request);
    scheduleNext();
}

void RequestQueue::finishCurrent()
{
    if (!m_busy)
        return;
    m_busy = false;
    const AgentRequest done = m_current;
    emit finished(done);
    if (m_waiting.isEmpty())
        emit idle();
    else
        scheduleNext();
}

void RequestQueue::clear()
{
    m_waiting.clear();
}

void RequestQueue::scheduleNext()
{
    if (m_busy || m_scheduled || m_waiting.isEmpty())
        return;
    // Queued, not direct: a performer that finishes at once must not recurse into the
    // next request, and a caller must get control back before anything is carried out.
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &RequestQueue::startNext, Qt::QueuedConnection);
}

void RequestQueue::startNext()
{
    m_scheduled = false;
    if (m_busy || m_waiting.isEmpty())
        return;
    m_busy = true;
    m_current = m_waiting.takeFirst();
    emit started(m_current);
    m_performer(m_current);
}
