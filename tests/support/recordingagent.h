#pragma once

#include "speech/agent.h"
#include "core/runtimeerror.h"

#include <QStringList>

#include <map>
#include <memory>

// Records every request made to the agent, in order, as "Show", "MoveTo 250 175",
// "Play Greet", "Height 205", "Speak text", "Load Merlin <file>". Unknown ids raise
// the same error the real component raises.
class RecordingAgent final : public Agent
{
public:
    class Character final : public AgentCharacter
    {
    public:
        explicit Character(QStringList &log) : m_log(log) {}
        void Show() override { m_log << QStringLiteral("Show"); }
        void MoveTo(int x, int y) override { m_log << QStringLiteral("MoveTo %1 %2").arg(x).arg(y); }
        void Play(const QString &name) override { m_log << QStringLiteral("Play ") + name; }
        void setHeight(int h) override { m_log << QStringLiteral("Height %1").arg(h); }
        void Speak(const QString &text) override { m_log << QStringLiteral("Speak ") + text; }
        // Kept, not logged: a test says when the requests before it are done.
        void whenDone(std::function<void()> done) override { waitingForDone = std::move(done); }
        std::function<void()> waitingForDone;

    private:
        QStringList &m_log;
    };

    void load(const QString &id, const QString &file) override
    {
        log << QStringLiteral("Load %1 %2").arg(id, file);
        m_characters[id] = std::make_unique<Character>(log);
    }
    AgentCharacter &character(const QString &id) override
    {
        auto it = m_characters.find(id);
        if (it == m_characters.end())
            throw RuntimeError(RuntimeError::InvalidArgument, id);
        return *it->second;
    }
    Character &merlin() { return *m_characters.at(QStringLiteral("Merlin")); }
    // Only the spoken texts, in order.
    QStringList spoken() const
    {
        QStringList out;
        for (const QString &line : log)
            if (line.startsWith(QStringLiteral("Speak ")))
                out << line.mid(6);
        return out;
    }

    QStringList log;

private:
    std::map<QString, std::unique_ptr<Character>> m_characters;
};
