#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// Where a word of the text starts being heard.
struct WordMark
{
    qsizetype position = 0;   // in the text, 0-based UTF-16 index
    qsizetype length = 0;
    qint64 audioMs = 0;
};

// A text made into sound: 16-bit mono PCM and the moment each word begins.
struct Utterance
{
    QString text;
    QByteArray pcm;
    int sampleRate = 22050;
    QList<WordMark> words;
    qint64 silentMs = 0;   // used instead of the PCM's length when there is no PCM

    qint64 durationMs() const;
};

// Words that have begun by the time `ms` of the utterance have been heard.
qsizetype wordsReachedBy(const QList<WordMark> &words, qint64 ms);

// An utterance paced like speech, for when no voice data exists: each word gets the
// time a child-paced voice would give it.
Utterance estimatedUtterance(const QString &text);

// Says texts one at a time. say() returns at once; wordReached() follows the voice and
// finished() comes when the text has been heard (or its time has passed, with no sound).
class VoiceEngine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A hint that `text` will be said soon, so the work can start early.
    virtual void prepare(const QString &text) { Q_UNUSED(text) }
    virtual void say(const QString &text) = 0;
    // Silences the voice at once; finished() is not emitted for the cut utterance.
    virtual void stop() = 0;

signals:
    void audioStarted();
    void wordReached(qsizetype position, qsizetype length);
    void finished();
};
