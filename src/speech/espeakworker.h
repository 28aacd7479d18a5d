#pragma once

#include "agent/characterfile.h"
#include "agent/voiceengine.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

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
    void synthesize(const QString &text, const VoiceSettings &voice, Cancel cancel, QObject *context, Done done);
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
