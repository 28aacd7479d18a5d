#pragma once

#include <QString>

#include <functional>

// A character of the agent component: every request returns at once and is carried
// out later, after the requests issued before it, whoever issued them.
class AgentCharacter
{
public:
    virtual ~AgentCharacter() = default;
    virtual void Show() = 0;
    virtual void MoveTo(int x, int y) = 0;
    // An animation name the character does not have is a run-time error; names
    // match without regard to case.
    virtual void Play(const QString &animation) = 0;
    virtual void setHeight(int height) = 0;
    virtual void Speak(const QString &text) = 0;
    // Calls done, on the caller's thread, once every request made before this call has
    // been carried out (at once, on a later turn of the event loop, if none is left).
    // A component that cannot tell never calls it; neither does one that is destroyed
    // or drops its requests first.
    virtual void whenDone(std::function<void()> done) { Q_UNUSED(done); }
};

// The agent component: loads characters by id and hands them out by id.
class Agent
{
public:
    virtual ~Agent() = default;
    // Loads the character file; a missing, unreadable or malformed file is a run-time error.
    virtual void load(const QString &id, const QString &file) = 0;
    // An id that is not loaded is a run-time error.
    virtual AgentCharacter &character(const QString &id) = 0;
};
