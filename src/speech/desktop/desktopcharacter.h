#pragma once

#include "speech/agent.h"
#include "speech/characterfile.h"
#include "speech/requestqueue.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class CharacterWindow;
class EspeakVoice;
class QWidget;
class WordBalloon;

// A loaded character: takes the requests, checks their arguments at once (so an error
// reaches the caller's handler), and queues them; the queue has them carried out by
// the character window, the balloon and the voice.
class DesktopCharacter final : public QObject, public AgentCharacter
{
    Q_OBJECT

public:
    enum class Sound { Automatic, Silent };
    DesktopCharacter(const CharacterFile &character, Sound sound, QObject *parent = nullptr);
    ~DesktopCharacter() override;

    void Show() override;
    void MoveTo(int x, int y) override;
    void Play(const QString &animation) override;
    void setHeight(int height) override;
    void Speak(const QString &text) override;
    void whenDone(std::function<void()> done) override;

    // The main window's client area: MoveTo places the character relative to it while
    // its window is on screen (see characterPosition()). Null: plain screen points.
    // The balloon covers none of keptInSight while they are visible.
    void setAnchor(QWidget *clientArea, const QList<QWidget *> &keptInSight = {});

    // For tests and measurements: the parts at work.
    RequestQueue &queue() { return m_queue; }
    CharacterWindow &window() { return *m_window; }
    WordBalloon &balloon() { return *m_balloon; }
    EspeakVoice &voice() { return *m_voice; }

private:
    void request(const AgentRequest &request);
    void perform(const AgentRequest &request);
    void speechEnded();
    void requestCarriedOut();

    // Requests made and carried out so far, and who waits for which count to be reached.
    qint64 m_requested = 0;
    qint64 m_carriedOut = 0;
    std::vector<std::pair<qint64, std::function<void()>>> m_waitingForDone;

    CharacterFile m_character;
    QPointer<QWidget> m_anchor;
    RequestQueue m_queue;
    std::unique_ptr<CharacterWindow> m_window;
    std::unique_ptr<WordBalloon> m_balloon;
    std::unique_ptr<EspeakVoice> m_voice;
};
