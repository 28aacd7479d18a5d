#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// One thing asked of a character.
struct AgentRequest
{
    enum class Kind { Show, MoveTo, Play, Height, Speak };
    Kind kind = Kind::Show;
    int x = 0;          // MoveTo: screen position; Height: the height in x
    int y = 0;
    QString text = {};  // Play: the animation's own name; Speak: the words
};

// Carries requests out one at a time, in the order they were made. Adding a request
// never runs anything: the head starts on a later turn of the event loop, so callers
// always return before the work is done, and a request never cuts short an earlier
// one. What a request does is left to the performer, which reports the end of each
// with finishCurrent(), at once or later.
class RequestQueue final : public QObject
{
    Q_OBJECT

public:
    using Performer = std::function<void(const AgentRequest &)>;
    explicit RequestQueue(Performer performer, QObject *parent = nullptr);

    void enqueue(const AgentRequest &request);
    void finishCurrent();
    // Forgets what is waiting; the request being performed is left to its performer.
    void clear();

    bool isBusy() const { return m_busy; }
    qsizetype waiting() const { return m_waiting.size(); }

signals:
    void started(const AgentRequest &request);
    void finished(const AgentRequest &request);
    void idle();

private:
    void scheduleNext();
    void startNext();

    Performer m_performer;
    QList<AgentRequest> m_waiting;
    AgentRequest m_current;
    bool m_busy = false;
    bool m_scheduled = false;
};
