#pragma once

#include <QByteArray>
#include <QIODevice>

#include <deque>
#include <memory>

class SoundFlow;

// The sound of the utterance being heard, as the audio sink reads it: parts are added as
// they are made and let go once read, and the flow learns how far the reading has got.
class SoundStream final : public QIODevice
{
public:
    using QIODevice::QIODevice;

    // Empties the stream for a new utterance and opens it; flow may be null.
    void restart(std::shared_ptr<SoundFlow> flow);
    void append(const QByteArray &part);   // emits readyRead
    void setComplete() { m_complete = true; }

    qint64 bytesRead() const { return m_read; }
    qint64 bytesHeld() const { return m_held; }
    qint64 mostBytesHeld() const { return m_mostHeld; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_held + QIODevice::bytesAvailable(); }
    // Only at the end of the whole utterance, not merely of what has been made so far.
    bool atEnd() const override { return m_complete && bytesAvailable() == 0; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::deque<QByteArray> m_parts;
    qsizetype m_offset = 0;   // into the first part
    qint64 m_held = 0;
    qint64 m_mostHeld = 0;
    qint64 m_read = 0;
    bool m_complete = false;
    std::shared_ptr<SoundFlow> m_flow;
};
