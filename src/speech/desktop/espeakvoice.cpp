#include "speech/desktop/espeakvoice.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int TickMs = 15;
// A device that stops playing must not hold the queue: when its position has not moved
// for this long, the rest of the utterance counts as heard.
constexpr qint64 StallGraceMs = 2500;
// The position of a sound server lags the data by a few milliseconds at the very end.
constexpr qint64 EndToleranceMs = 20;
// A text with no word to hear ("!!!", spaces) is still shown this long, as a short word is.
constexpr qint64 WordlessMs = 380;
// Texts waiting to be said whose sound is made before their turn. Each holds its whole
// sound until then (44 kB a second), and a child hammering Enter queues thousands of
// texts; two keep the next words ready without the memory growing with the queue.
constexpr qsizetype MadeAhead = 2;

void sayOnceSilent(const char *why)
{
    static bool said = false;
    if (said)
        return;
    said = true;
    std::fprintf(stderr, "Quizzolo: %s; il mago parla in silenzio (solo il fumetto)\n", why);
}

} // namespace

EspeakVoice::EspeakVoice(const VoiceSettings &settings, Output output, QObject *parent)
    : VoiceEngine(parent)
    , m_settings(settings)
    , m_worker(EspeakWorker::shared())
    , m_cancel(std::make_shared<std::atomic_bool>(false))
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(TickMs);
    connect(&m_ticker, &QTimer::timeout, this, &EspeakVoice::tick);

    if (output == Output::Silent) {
        m_silent = true;
    } else {
        // With no sound server Qt lists no outputs and a sink fails without a signal:
        // decide here rather than wait for one.
        m_device = QMediaDevices::defaultAudioOutput();
        if (m_device.isNull() || QMediaDevices::audioOutputs().isEmpty())
            goSilent("nessuna uscita audio");
        else
            warmUp();
    }
}

void EspeakVoice::warmUp()
{
    // A sound server takes a second or two to get a process's first stream going; play a
    // moment of silence now, while the character is still appearing, so the first words
    // are not late.
    QAudioFormat format;
    format.setSampleRate(22050);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = std::make_unique<QAudioSink>(m_device, format);
    m_stream.restart(nullptr);
    m_stream.append(QByteArray(format.bytesForDuration(100'000), '\0'));
    m_stream.setComplete();
    m_sink->start(&m_stream);
}

EspeakVoice::~EspeakVoice()
{
    stop();
}

void EspeakVoice::goSilent(const char *why)
{
    m_silent = true;
    sayOnceSilent(why);
}

void EspeakVoice::prepare(const QString &text)
{
    m_pending.push_back({.id = m_nextId++, .text = text});
    makeAhead();
}

void EspeakVoice::makeAhead()
{
    qsizetype ahead = 0;
    for (auto it = m_pending.begin(); it != m_pending.end() && ahead < MadeAhead; ++it, ++ahead) {
        if (!it->requested)
            request(*it);
    }
}

qsizetype EspeakVoice::utterancesAhead() const
{
    return std::count_if(m_pending.begin(), m_pending.end(), [](const Pending &p) { return p.requested; });
}

qint64 EspeakVoice::bytesAhead() const
{
    qint64 bytes = 0;
    for (const Pending &pending : m_pending)
        bytes += pending.utterance.pcm.size();
    return bytes;
}

void EspeakVoice::request(Pending &pending)
{
    pending.requested = true;
    const quint64 id = pending.id;
    // Played, the sound is made as it is heard; said silently, only its length matters.
    if (!m_silent)
        pending.flow = std::make_shared<SoundFlow>();
    m_worker->synthesize(
        pending.text, m_settings, m_cancel, this,
        [this, id](Utterance part, bool complete) { ready(id, std::move(part), complete); }, pending.flow);
}

void EspeakVoice::drop(Pending &pending)
{
    if (pending.flow)
        pending.flow->cancel();
}

void EspeakVoice::say(const QString &text)
{
    // Texts are said in the order they were prepared; anything prepared before this
    // one and not said is dropped.
    while (!m_pending.empty() && m_pending.front().text != text) {
        drop(m_pending.front());
        m_pending.pop_front();
    }
    if (m_pending.empty())
        m_pending.push_back({.id = m_nextId++, .text = text});
    makeAhead();
    Pending &pending = m_pending.front();
    if (!pending.utterance.pcm.isEmpty() || pending.complete) {
        Pending ready = std::move(pending);
        m_pending.pop_front();
        makeAhead();
        begin(std::move(ready));
    } else {
        m_sayingId = pending.id;
    }
}

void EspeakVoice::ready(quint64 id, Utterance part, bool complete)
{
    if (id == m_currentId && m_speaking) {
        // More of the utterance being heard: the sink reads on from the stream, which
        // lets each part go once read. Said silently, only the length counts.
        m_currentBytes += part.pcm.size();
        m_current.words += part.words;
        m_currentComplete = complete;
        if (m_playing) {
            if (complete)
                m_stream.setComplete();
            m_stream.append(part.pcm);
        }
        return;
    }
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->id != id)
            continue;
        it->utterance.text = part.text;
        it->utterance.sampleRate = part.sampleRate;
        it->utterance.silentMs = part.silentMs;
        it->utterance.pcm += part.pcm;
        it->utterance.words += part.words;
        it->complete = complete;
        if (id == m_sayingId) {
            m_sayingId = 0;
            Pending ready = std::move(*it);
            m_pending.erase(it);
            makeAhead();
            begin(std::move(ready));
        }
        return;
    }
}

void EspeakVoice::begin(Pending pending)
{
    if (m_currentFlow)
        m_currentFlow->cancel();
    m_current = std::move(pending.utterance);
    m_currentBytes = m_current.pcm.size();
    m_currentFlow = std::move(pending.flow);
    m_currentId = pending.id;
    m_currentComplete = pending.complete;
    m_wordsReported = 0;
    m_speaking = true;
    m_playing = false;
    m_lastPlayedMs = -1;
    m_lastProgress = 0;
    m_stalled = false;

    if (!m_silent && m_currentBytes > 0) {
        QAudioFormat format;
        format.setSampleRate(m_current.sampleRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!m_sink || m_sink->format() != format)
            m_sink = std::make_unique<QAudioSink>(m_device, format);
        m_sink->stop();
        m_stream.restart(m_currentFlow);
        if (m_currentComplete)
            m_stream.setComplete();
        m_stream.append(m_current.pcm);
        m_sink->start(&m_stream);
        if (m_sink->error() == QAudio::NoError)
            m_playing = true;
        else
            goSilent("l'uscita audio non si apre");
    }
    m_current.pcm = {};
    // Nobody takes the sound at the speaker's pace: let the rest of it be made at once.
    if (!m_playing && m_currentFlow)
        m_currentFlow->release();
    emit audioStarted();
    m_clock.start();
    m_ticker.start();
    tick();
}

qint64 EspeakVoice::currentDurationMs() const
{
    if (m_currentBytes == 0 || m_current.sampleRate <= 0)
        return m_current.silentMs;
    return m_currentBytes / 2 * 1000 / m_current.sampleRate;
}

qint64 EspeakVoice::heardMs()
{
    const qint64 elapsed = m_clock.elapsed();
    if (!m_playing)
        return elapsed;
    const qint64 played = m_sink->processedUSecs() / 1000;
    if (played != m_lastPlayedMs) {
        m_lastPlayedMs = played;
        m_lastProgress = elapsed;
        m_stalled = false;
    } else if (elapsed - m_lastProgress > StallGraceMs) {
        if (!m_stalled && m_currentFlow)
            m_currentFlow->release();
        m_stalled = true;
        return currentDurationMs();
    }
    return played;
}

void EspeakVoice::tick()
{
    if (!m_speaking)
        return;
    if (m_playing && m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError) {
        // The device went away mid-sentence: finish the sentence by the clock.
        m_playing = false;
        if (m_currentFlow)
            m_currentFlow->release();
        goSilent("l'uscita audio si è interrotta");
    }
    const qint64 heard = heardMs();
    const qsizetype reached = wordsReachedBy(m_current.words, heard);
    while (m_wordsReported < reached) {
        const WordMark &word = m_current.words.at(m_wordsReported++);
        emit wordReached(word.position, word.length);
        if (!m_speaking)
            return;
    }
    // The end: all of the sound made, every byte of it taken by the sink (unless the
    // device stalled), and heard to within the sound server's lag; a text with no word to
    // say still stays a moment in the balloon.
    const bool allTaken = !m_playing || m_stalled || m_stream.atEnd();
    const bool wordless = m_current.words.isEmpty() && m_clock.elapsed() < WordlessMs;
    if (m_currentComplete && allTaken && heard + (m_playing ? EndToleranceMs : 0) >= currentDurationMs() && !wordless)
        finish();
}

void EspeakVoice::finish()
{
    m_ticker.stop();
    m_speaking = false;
    m_currentId = 0;
    m_currentFlow.reset();
    if (m_sink)
        m_sink->stop();
    m_stream.close();
    m_playing = false;
    emit finished();
}

void EspeakVoice::stop()
{
    m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic_bool>(false);
    for (Pending &pending : m_pending)
        drop(pending);
    m_pending.clear();
    if (m_currentFlow)
        m_currentFlow->cancel();
    m_currentFlow.reset();
    m_sayingId = 0;
    m_currentId = 0;
    m_ticker.stop();
    m_speaking = false;
    if (m_sink)
        m_sink->stop();
    m_stream.close();
    m_playing = false;
}
