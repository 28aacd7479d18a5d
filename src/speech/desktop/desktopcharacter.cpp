#include "speech/desktop/desktopcharacter.h"

#include "core/runtimeerror.h"
#include "speech/desktop/characterwindow.h"
#include "speech/desktop/espeakvoice.h"
#include "speech/desktop/placement.h"
#include "speech/desktop/wordballoon.h"

#include <QApplication>
#include <QScreen>

namespace {

constexpr int MaxHeight = 4000;

} // namespace

DesktopCharacter::DesktopCharacter(const CharacterFile &character, Sound sound, QObject *parent)
    : QObject(parent)
    , m_character(character)
    , m_queue([this](const AgentRequest &request) { perform(request); })
    , m_window(std::make_unique<CharacterWindow>(character))
    , m_balloon(std::make_unique<WordBalloon>())
    , m_voice(std::make_unique<EspeakVoice>(character.voice, sound == Sound::Silent ? EspeakVoice::Output::Silent
                                                                                    : EspeakVoice::Output::Automatic))
{
    connect(m_window.get(), &CharacterWindow::animationFinished, &m_queue, &RequestQueue::finishCurrent);
    connect(m_voice.get(), &VoiceEngine::wordReached, this, [this](qsizetype position, qsizetype length) {
        m_window->wordSpoken();
        m_balloon->markWord(position, length);
    });
    connect(m_voice.get(), &VoiceEngine::finished, this, &DesktopCharacter::speechEnded);
    connect(&m_queue, &RequestQueue::finished, this, &DesktopCharacter::requestCarriedOut);
}

DesktopCharacter::~DesktopCharacter()
{
    // Leaving ends everything at once: nothing waiting is carried out, the voice stops.
    m_queue.clear();
    m_voice->stop();
}

void DesktopCharacter::setAnchor(QWidget *clientArea, const QList<QWidget *> &keptInSight)
{
    m_anchor = clientArea;
    m_balloon->setKeptInSight(keptInSight);
}

void DesktopCharacter::Show()
{
    request({.kind = AgentRequest::Kind::Show});
}

void DesktopCharacter::MoveTo(int x, int y)
{
    request({.kind = AgentRequest::Kind::MoveTo, .x = x, .y = y});
}

void DesktopCharacter::Play(const QString &animation)
{
    const CharacterAnimation *found = m_character.animation(animation);
    if (!found) {
        throw RuntimeError(RuntimeError::InvalidArgument,
                           QStringLiteral("%1 non ha l'animazione \"%2\"").arg(m_character.name, animation));
    }
    request({.kind = AgentRequest::Kind::Play, .text = found->name});
}

void DesktopCharacter::setHeight(int height)
{
    if (height < 1 || height > MaxHeight)
        throw RuntimeError(RuntimeError::InvalidArgument, QStringLiteral("altezza %1 fuori misura").arg(height));
    request({.kind = AgentRequest::Kind::Height, .x = height});
}

void DesktopCharacter::Speak(const QString &text)
{
    if (!text.isEmpty())
        m_voice->prepare(text);
    request({.kind = AgentRequest::Kind::Speak, .text = text});
}

void DesktopCharacter::whenDone(std::function<void()> done)
{
    if (m_carriedOut >= m_requested) {
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
        return;
    }
    m_waitingForDone.emplace_back(m_requested, std::move(done));
}

void DesktopCharacter::request(const AgentRequest &request)
{
    ++m_requested;
    m_queue.enqueue(request);
}

void DesktopCharacter::requestCarriedOut()
{
    ++m_carriedOut;
    // Taken out before any is called: a caller may ask again from inside.
    std::vector<std::function<void()>> due;
    std::erase_if(m_waitingForDone, [&](auto &waiting) {
        if (waiting.first > m_carriedOut)
            return false;
        due.push_back(std::move(waiting.second));
        return true;
    });
    for (const auto &done : due)
        done();
}

void DesktopCharacter::perform(const AgentRequest &request)
{
    switch (request.kind) {
    case AgentRequest::Kind::Show:
        m_window->show();
        // Never over a message box the program is waiting on (showing a hidden window maps
        // it on top of every other).
        if (QWidget *box = QApplication::activeModalWidget())
            box->raise();
        else
            m_window->raise();
        m_queue.finishCurrent();
        return;
    case AgentRequest::Kind::MoveTo: {
        // Where the main window stands now: a window dragged since is followed.
        const QPoint requested(request.x, request.y);
        std::optional<QPoint> clientOrigin;
        const QScreen *screen = nullptr;
        if (m_anchor && m_anchor->window()->isVisible()) {
            clientOrigin = m_anchor->mapToGlobal(QPoint(0, 0));
            screen = m_anchor->screen();
        } else {
            screen = QApplication::screenAt(requested);
        }
        if (!screen)
            screen = QApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect();
        m_window->move(characterPosition(requested, clientOrigin, m_window->size(), area));
        m_queue.finishCurrent();
        return;
    }
    case AgentRequest::Kind::Height:
        m_window->setCharacterHeight(request.x);
        m_queue.finishCurrent();
        return;
    case AgentRequest::Kind::Play:
        m_window->play(*m_character.animation(request.text));
        return;
    case AgentRequest::Kind::Speak:
        // Every text is shown and said, punctuation alone too; only nothing is skipped.
        if (request.text.isEmpty()) {
            m_queue.finishCurrent();
            return;
        }
        if (m_window->isVisible())
            m_balloon->say(request.text, m_window->frameGeometry());
        m_window->startSpeaking();
        m_voice->say(request.text);
        return;
    }
}

void DesktopCharacter::speechEnded()
{
    m_window->stopSpeaking();
    m_balloon->finishSoon();
    m_queue.finishCurrent();
}
