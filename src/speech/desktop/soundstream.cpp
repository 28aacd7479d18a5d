#include "speech/desktop/soundstream.h"

#include "speech/desktop/espeakworker.h"

#include <cstring>

void SoundStream::restart(std::shared_ptr<SoundFlow> flow)
{
    if (isOpen())
        close();
    m_parts.clear();
    m_offset = 0;
    m_held = 0;
    m_mostHeld = 0;
    m_read = 0;
    m_complete = false;
    m_flow = std::move(flow);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void SoundStream::append(const QByteArray &part)
{
    if (part.isEmpty())
        return;
    m_parts.push_back(part);
    m_held += part.size();
    m_mostHeld = qMax(m_mostHeld, m_held);
    emit readyRead();
}

qint64 SoundStream::readData(char *data, qint64 maxSize)
{
    qint64 copied = 0;
    while (copied < maxSize && !m_parts.empty()) {
        const QByteArray &part = m_parts.front();
        const qint64 n = qMin(maxSize - copied, qint64(part.size() - m_offset));
        std::memcpy(data + copied, part.constData() + m_offset, size_t(n));
        copied += n;
        m_offset += n;
        if (m_offset == part.size()) {
            m_parts.pop_front();
            m_offset = 0;
        }
    }
    m_held -= copied;
    m_read += copied;
    if (m_flow && copied > 0)
        m_flow->taken(m_read);
    // Nothing at the end, as a buffer of the whole sound would give: the sink then drains.
    return copied;
}
