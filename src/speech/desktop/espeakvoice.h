#pragma once

#include "speech/characterfile.h"
#include "speech/voiceengine.h"
#include "speech/desktop/espeakworker.h"
#include "speech/desktop/soundstream.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <memory>

class QAudioSink;

// The character's voice: espeak-ng makes the sound on its worker thread, a little ahead
// of the listener, Qt Multimedia plays it from memory, and the words are reported as they
// are heard. With no audio output the same utterance is paced by the clock alone, so
// everything else keeps its timing; that is decided once, at construction, from the
// devices Qt reports.
class EspeakVoice final : public VoiceEngine
{
    Q_OBJECT

public:
    enum class Output { Automatic, Silent };
    explicit EspeakVoice(const VoiceSettings &settings, Output output = Output::Automatic, QObject *parent = nullptr);
    ~EspeakVoice() override;

    void prepare(const QString &text) override;
    void say(const QString &text) override;
    void stop() override;

    bool isSilent() const { return m_silent; }
    // Of the utterance playing or last played: its length, the bytes the sink took, and
    // the most bytes of it held at once.
    qint64 currentDurationMs() const;
    qint64 bytesConsumed() const { return m_stream.bytesRead(); }
    qint64 bytesTotal() const { return m_currentBytes; }
    qint64 mostBytesHeld() const { return m_stream.mostBytesHeld(); }
    // Of the texts waiting to be said: how many have their sound made or being made, and
    // the bytes of sound they hold.
    qsizetype utterancesAhead() const;
    qint64 bytesAhead() const;

private:
    struct Pending
    {
        quint64 id = 0;
        QString text;
        Utterance utterance = {};   // as much as has been made
        bool complete = false;
        bool requested = false;   // handed to the worker
        std::shared_ptr<SoundFlow> flow = nullptr;   // paces the making of its sound, when played
    };

    void warmUp();
    void request(Pending &pending);
    void makeAhead();
    void ready(quint64 id, Utterance part, bool complete);
    void begin(Pending pending);
    void tick();
    void finish();
    void goSilent(const char *why);
    void drop(Pending &pending);
    qint64 heardMs();

    VoiceSettings m_settings;
    std::shared_ptr<EspeakWorker> m_worker;
    EspeakWorker::Cancel m_cancel;
    std::deque<Pending> m_pending;
    quint64 m_nextId = 1;
    quint64 m_sayingId = 0;          // the text said, waiting for its sound

    bool m_silent = false;
    QAudioDevice m_device;
    SoundStream m_stream;
    std::unique_ptr<QAudioSink> m_sink;
    bool m_playing = false;

    Utterance m_current;             // its text and words; its sound is in m_stream
    qint64 m_currentBytes = 0;       // of sound made so far
    std::shared_ptr<SoundFlow> m_currentFlow;
    quint64 m_currentId = 0;
    bool m_currentComplete = false;
    qsizetype m_wordsReported = 0;
    qint64 m_lastPlayedMs = -1;
    qint64 m_lastProgress = 0;
    bool m_stalled = false;          // the device stopped playing: the rest counts as heard
    bool m_speaking = false;
    QElapsedTimer m_clock;
    QTimer m_ticker;
};
