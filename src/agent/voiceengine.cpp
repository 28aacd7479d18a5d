#include "agent/voiceengine.h"

#include <QRegularExpression>

#include <algorithm>

qint64 Utterance::durationMs() const
{
    if (pcm.isEmpty() || sampleRate <= 0)
        return silentMs;
    return qint64(pcm.size() / 2) * 1000 / sampleRate;
}

qsizetype wordsReachedBy(const QList<WordMark> &words, qint64 ms)
{
    const auto end = std::upper_bound(words.begin(), words.end(), ms,
                                      [](qint64 at, const WordMark &word) { return at < word.audioMs; });
    return end - words.begin();
}

Utterance estimatedUtterance(const QString &text)
{
    static const QRegularExpression wordPattern(QStringLiteral("[^\\s,.;:!?]+"));
    constexpr qint64 PerWordMs = 380;
    Utterance utterance;
    utterance.text = text;
    auto it = wordPattern.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        utterance.words.append({match.capturedStart(), match.capturedLength(), utterance.silentMs});
        utterance.silentMs += PerWordMs;
    }
    return utterance;
}
