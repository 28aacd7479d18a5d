#pragma once

#include "speech/characterfile.h"
#include "speech/voiceengine.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The pace of one utterance's sound: how much of it the player has taken. The worker
// makes the sound at most a lead ahead of that, so a long text is never held whole in
// memory; released, the rest is made at full speed, and cancelled, not at all.
class SoundFlow final
{
public:
    void taken(qint64 bytes);    // by the player, as it reads on
    void release();              // nobody will read it at the speaker's pace
    void cancel();               // nobody wants the rest
    bool cancelled() const { return m_cancelled.load(); }
    bool hasTaken(qint64 bytes);   // or was released
    // Worker: returns once the player has taken `bytes`, or the flow was released or
    // cancelled, or `abort` was set.
    void waitUntilTaken(qint64 bytes, const std::atomic_bool &abort);

private:
    std::mutex m_mutex;
    std::condition_variable m_progress;
    qint64 m_taken = 0;
    bool m_released = false;
    std::atomic_bool m_cancelled = false;
};

// The one thread that talks to espeak-ng. The library keeps all its state in globals
// and is not reentrant, so every espeak_* call of the process happens here, one text at
// a time, in synchronous mode into memory. Voices share the worker; it stops when the
// last of them lets it go. Without usable voice data, texts get an estimated pacing.
class EspeakWorker final
{
public:
    using Cancel = std::shared_ptr<std::atomic_bool>;
    // Receives the utterance in parts, in order: sound and words as they are made, the
    // last part with complete set.
    using Done = std::function<void(Utterance part, bool complete)>;

    static std::shared_ptr<EspeakWorker> shared();
    ~EspeakWorker();

    // Queues a text; `done` later runs on `context`'s thread for each part, unless context
    // has gone or `cancel` was set, in which case a synthesis under way is cut short too.
    // With a flow, the sound is made at the pace the player takes it.
    void synthesize(const QString &text, const VoiceSettings &voice, Cancel cancel, QObject *context, Done done,
                    std::shared_ptr<SoundFlow> flow = nullptr);
    // Waits for the result: for tests and measurements, never for the UI thread.
    Utterance synthesizeNow(const QString &text, const VoiceSettings &voice);

private:
    struct Job
    {
        QString text;
        VoiceSettings voice;
        Cancel cancel;
        QPointer<QObject> context;
        Done done;
        std::shared_ptr<SoundFlow> flow = nullptr;
    };

    EspeakWorker();
    void run();
    void synthesizeOnWorker(const Job &job);
    void deliver(const Job &job, Utterance part, bool complete);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::atomic_bool m_abort = false;
    std::thread m_thread;
};
