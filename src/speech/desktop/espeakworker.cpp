#include "speech/desktop/espeakworker.h"

#include <QMetaObject>

#include <espeak-ng/speak_lib.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <utility>

namespace {

// What the synthesis callback fills; reached through g_collector, set by the worker
// thread around each synthesis.
struct Collector
{
    QByteArray pcm;
    QList<WordMark> words;
    QList<qsizetype> codePointStarts;   // UTF-16 index of each code point of the text
    const std::atomic_bool *cancel = nullptr;
    const std::atomic_bool *abort = nullptr;
    SoundFlow *flow = nullptr;
    qint64 made = 0;          // bytes of sound made so far
    qint64 leadBytes = 0;     // how far ahead of the player the sound may be made
    // Hands over what has been collected so far; called with the first sound, then
    // every few seconds of it, so playing can start before a long text is finished.
    std::function<void()> flush;
    bool flushed = false;
    qsizetype flushBytes = 0;
};

// The text being synthesised: one at a time, on the worker thread only.
Collector *g_collector = nullptr;

int collect(short *samples, int count, espeak_EVENT *events)
{
    Collector *collector = g_collector;
    if (!collector)
        return 0;
    for (espeak_EVENT *event = events; event && event->type != espeakEVENT_LIST_TERMINATED; ++event) {
        // Zero-length word events come at punctuation: no word is heard there.
        if (event->type == espeakEVENT_WORD && event->length > 0) {
            const int first = event->text_position - 1;
            const int last = first + event->length;
            const auto &starts = collector->codePointStarts;
            if (first >= 0 && first + 1 < starts.size()) {
                const qsizetype begin = starts.at(first);
                const qsizetype end = last < starts.size() ? starts.at(last) : starts.constLast();
                collector->words.append({begin, end - begin, event->audio_position});
            }
        }
    }
    if (samples && count > 0) {
        collector->pcm.append(reinterpret_cast<const char *>(samples), qsizetype(count) * 2);
        collector->made += qint64(count) * 2;
    }
    // Far enough ahead of the player: hand over what is made, then wait for it to be taken.
    const qint64 needed = collector->made - collector->leadBytes;
    const bool waitForPlayer = collector->flow && needed > 0 && !collector->flow->hasTaken(needed);
    if (collector->flush && !collector->pcm.isEmpty()
        && (!collector->flushed || collector->pcm.size() >= collector->flushBytes || waitForPlayer)) {
        collector->flushed = true;
        collector->flush();
    }
    if (waitForPlayer)
        collector->flow->waitUntilTaken(needed, *collector->abort);
    const bool cancelled = collector->cancel->load() || (collector->flow && collector->flow->cancelled());
    return cancelled || collector->abort->load() ? 1 : 0;
}

constexpr int FlushSeconds = 2;
// A paced utterance is made at most this far ahead of what the player has taken; the
// sound server holds a couple of seconds more, so the voice never runs dry.
constexpr int LeadMs = 1000;

// espeak-ng's state outlives any one worker thread; workers never overlap in time.
int g_sampleRate = 0;
bool g_initialised = false;
QString g_voice;

} // namespace

void SoundFlow::taken(qint64 bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_taken = bytes;
    }
    m_progress.notify_all();
}

bool SoundFlow::hasTaken(qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    return m_released || m_taken >= bytes;
}

void SoundFlow::release()
{
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
    }
    m_progress.notify_all();
}

void SoundFlow::cancel()
{
    m_cancelled = true;
    release();
}

void SoundFlow::waitUntilTaken(qint64 bytes, const std::atomic_bool &abort)
{
    std::unique_lock lock(m_mutex);
    // The worker's own stop sets abort without this flow knowing: look again now and then.
    while (!m_progress.wait_for(lock, std::chrono::milliseconds(500),
                                [&] { return m_released || m_taken >= bytes; })) {
        if (abort.load())
            return;
    }
}

std::shared_ptr<EspeakWorker> EspeakWorker::shared()
{
    static std::mutex mutex;
    static std::weak_ptr<EspeakWorker> current;
    const std::lock_guard lock(mutex);
    std::shared_ptr<EspeakWorker> worker = current.lock();
    if (!worker) {
        worker.reset(new EspeakWorker);
        current = worker;
    }
    return worker;
}

EspeakWorker::EspeakWorker()
    : m_thread([this] { run(); })
{
}

EspeakWorker::~EspeakWorker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_abort = true;
    m_wake.notify_all();
    m_thread.join();
}

void EspeakWorker::synthesize(const QString &text, const VoiceSettings &voice, Cancel cancel, QObject *context, Done done,
                              std::shared_ptr<SoundFlow> flow)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({text, voice, std::move(cancel), context, std::move(done), std::move(flow)});
    }
    m_wake.notify_one();
}

Utterance EspeakWorker::synthesizeNow(const QString &text, const VoiceSettings &voice)
{
    auto promise = std::make_shared<std::promise<Utterance>>();
    std::future<Utterance> result = promise->get_future();
    {
        const std::lock_guard lock(m_mutex);
        auto whole = std::make_shared<Utterance>();
        m_jobs.push_back({text, voice, nullptr, nullptr, [promise, whole](Utterance part, bool complete) {
                              whole->text = part.text;
                              whole->sampleRate = part.sampleRate;
                              whole->silentMs = part.silentMs;
                              whole->pcm += part.pcm;
                              whole->words += part.words;
                              if (complete)
                                  promise->set_value(std::move(*whole));
                          }});
    }
    m_wake.notify_one();
    return result.get();
}

void EspeakWorker::run()
{
    if (!g_initialised) {
        g_initialised = true;
        g_sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (g_sampleRate > 0)
            espeak_SetSynthCallback(collect);
        else
            std::fputs("Quizzolo: la sintesi vocale espeak-ng non si avvia\n", stderr);
    }
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        if ((job.cancel && job.cancel->load()) || (job.flow && job.flow->cancelled()))
            continue;
        synthesizeOnWorker(job);
    }
}

void EspeakWorker::deliver(const Job &job, Utterance part, bool complete)
{
    if (!job.cancel) {   // a synthesizeNow() caller is waiting
        job.done(std::move(part), complete);
        return;
    }
    const QPointer<QObject> context = job.context;
    if (!context || job.cancel->load() || (job.flow && job.flow->cancelled()))
        return;
    // Runs on the context's thread; dropped if the context is destroyed meanwhile.
    QMetaObject::invokeMethod(
        context.data(),
        [done = job.done, cancel = job.cancel, part = std::move(part), complete]() mutable {
            if (!cancel->load())
                done(std::move(part), complete);
        },
        Qt::QueuedConnection);
}

void EspeakWorker::synthesizeOnWorker(const Job &job)
{
    if (g_sampleRate <= 0) {
        deliver(job, estimatedUtterance(job.text), true);
        return;
    }
    if (g_voice != job.voice.language) {
        if (espeak_SetVoiceByName(job.voice.language.toUtf8().constData()) != EE_OK) {
            std::fprintf(stderr, "Quizzolo: manca la voce espeak-ng \"%s\"\n", qPrintable(job.voice.language));
            deliver(job, estimatedUtterance(job.text), true);
            return;
        }
        g_voice = job.voice.language;
    }
    espeak_SetParameter(espeakRATE, job.voice.rate, 0);
    espeak_SetParameter(espeakPITCH, job.voice.pitch, 0);
    espeak_SetParameter(espeakRANGE, job.voice.range, 0);

    Collector collector;
    static const std::atomic_bool never = false;
    collector.cancel = job.cancel ? job.cancel.get() : &never;
    collector.abort = &m_abort;
    collector.flow = job.flow.get();
    collector.leadBytes = qint64(g_sampleRate) * 2 * LeadMs / 1000;
    const QString &text = job.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text.at(i).isLowSurrogate())
            collector.codePointStarts.append(i);
    }
    collector.codePointStarts.append(text.size());
    collector.flushBytes = qsizetype(g_sampleRate) * 2 * FlushSeconds;
    auto flush = [&](bool complete) {
        Utterance part;
        part.text = text;
        part.sampleRate = g_sampleRate;
        part.pcm = std::exchange(collector.pcm, {});
        part.words = std::exchange(collector.words, {});
        deliver(job, std::move(part), complete);
    };
    collector.flush = [&flush] { flush(false); };
    const QByteArray utf8 = text.toUtf8();
    g_collector = &collector;
    espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    g_collector = nullptr;
    flush(true);
}
