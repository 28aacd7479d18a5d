#include "storico/historystats.h"
#include "storico/storico.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

using namespace historyformat;

// Reads records as they come, chunk after chunk, and hands each answer to the statistics.
class HistoryReader::Impl final
{
public:
    qsizetype feed(QByteArrayView data, bool atEnd);
    HistorySummary finish();

private:
    HistoryStats m_stats;
    bool m_atStart = true;
    bool m_skippingLine = false;  // discarding the rest of an overlong damaged line
    qint64 m_skipped = 0;
    bool m_sawNewLine = false;    // a line with the table and the time after the dictation
};

qsizetype HistoryReader::Impl::feed(QByteArrayView data, bool atEnd)
{
    const char *const begin = data.data();
    const char *const end = begin + data.size();
    const char *p = begin;
    if (m_atStart) {
        if (data.size() < 3 && !atEnd)
            return 0;
        m_atStart = false;
        if (data.startsWith("\xEF\xBB\xBF"))  // a byte-order mark an editor may have added
            p += 3;
    }
    while (p < end) {
        if (m_skippingLine) {
            const auto *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!lf)
                return data.size();
            m_skippingLine = false;
            p = lf + 1;
            continue;
        }
        // Blank lines (an editor may leave one at the end) are no answers and no damage.
        if (*p == '\n') {
            ++p;
            continue;
        }
        if (*p == '\r' && (p + 1 == end || p[1] == '\n')) {
            if (p + 1 == end && !atEnd)
                return p - begin;
            p += p + 1 == end ? 1 : 2;
            continue;
        }
        // A record is looked for in the next longestRecord bytes only, read whole or in pieces.
        Record record;
        const char *limit = end - p > longestRecord ? p + longestRecord : end;
        Scan scan = scanRecord(p, limit, atEnd && limit == end, record);
        if (scan == Scan::NeedMore) {
            if (limit == end)
                return p - begin;
            scan = Scan::Malformed;
        }
        if (scan == Scan::Complete && record.ended) {
            RawEntry entry;
            if (isHeader(p, record.next)) {
                p = record.next;
                continue;
            }
            // Old lines come before new ones; a short line after a new one is a new line cut
            // by a crash inside its table or time, and its last field cannot be trusted.
            if (checkFields(record, entry) && (record.count == fieldCount || !m_sawNewLine)) {
                m_sawNewLine = m_sawNewLine || record.count == fieldCount;
                m_stats.add(record.fields[2], entry);
                p = record.next;
                continue;
            }
        }
        // Damaged, or cut short at the end: skip its first line only. A line cut inside a
        // quoted name would otherwise swallow the whole lines appended after it.
        ++m_skipped;
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (lf) {
            p = lf + 1;
        } else {
            m_skippingLine = !atEnd;
            p = end;
        }
    }
    return p - begin;
}

HistorySummary HistoryReader::Impl::finish()
{
    HistorySummary summary = m_stats.finish();
    summary.skipped = m_skipped;
    return summary;
}

HistoryReader::HistoryReader()
    : m_impl(std::make_unique<Impl>())
{
}

HistoryReader::~HistoryReader() = default;

qsizetype HistoryReader::feed(QByteArrayView data, bool atEnd)
{
    return m_impl->feed(data, atEnd);
}

HistorySummary HistoryReader::finish()
{
    return m_impl->finish();
}

HistorySummary summarizeHistory(QByteArrayView content)
{
    HistoryReader reader;
    reader.feed(content, true);
    return reader.finish();
}

HistorySummary readHistory(const QString &path)
{
    const QFileInfo info(path);
    HistorySummary missing;
    if (!info.exists())
        return missing;
    missing.exists = true;
    // A folder, a pipe or a device is no history: reading one could block or never end.
    if (!info.isFile()) {
        missing.error = QStringLiteral("%1 non è un file").arg(path);
        return missing;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        missing.error = QStringLiteral("impossibile leggere %1: %2").arg(path, file.errorString());
        return missing;
    }

    constexpr qsizetype chunk = qsizetype(1) << 20;
    HistoryReader reader;
    QByteArray buffer(chunk + longestRecord + 1, Qt::Uninitialized);
    qsizetype held = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data() + held, buffer.size() - held);
        const bool atEnd = n <= 0;
        if (n > 0)
            held += n;
        const qsizetype taken = reader.feed(QByteArrayView(buffer.constData(), held), atEnd);
        std::memmove(buffer.data(), buffer.constData() + taken, size_t(held - taken));
        held -= taken;
        if (atEnd)
            break;
    }
    HistorySummary summary = reader.finish();
    if (file.error() != QFileDevice::NoError)
        summary.error = QStringLiteral("lettura interrotta di %1: %2").arg(path, file.errorString());
    return summary;
}
