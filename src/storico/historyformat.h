#pragma once

#include "storico/storico.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

// The line format of the history, shared by its reader and its writer: timestamps, fields
// quoted where needed, one record scanned from bytes that may stop anywhere. Internal to
// the storico library.
namespace historyformat {

inline constexpr int fieldCount = 9;
inline constexpr int oldFieldCount = 7;  // lines written before the table was kept
// No line the game writes comes near this (the longest name and answer the window takes
// are a few hundred kilobytes at worst); a longer "record" is damage, and skipping it keeps
// the reader's memory bounded.
inline constexpr qsizetype longestRecord = qsizetype(1) << 20;

// Timestamps: 2026-12-07T10:15:03+01:00, local time with its offset, whole seconds.
struct Stamp
{
    qint64 epoch = 0;  // seconds since 1970-01-01T00:00:00Z
    int offset = 0;    // seconds ahead of UTC
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    QDateTime toDateTime() const
    {
        return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::OffsetFromUTC, offset);
    }
};

// Parsed by hand: QDateTime::fromString would dominate the reading of a long history.
// Accepts what the writer writes and its UTC spelling with "Z".
std::optional<Stamp> parseStamp(QByteArrayView text);
void appendStamp(QByteArray &line, const QDateTime &when);

// A field's text. Unlike QString::fromUtf8, a name or answer that starts with U+FEFF keeps
// it: that is text, not a byte-order mark.
QString textOf(QByteArrayView utf8);

// Fields: ';'-separated, quoted with '"' (inner quotes doubled) where needed.
void appendField(QByteArray &line, QByteArrayView field);

struct Field
{
    QByteArrayView raw;  // between the quotes for a quoted field, inner quotes still doubled
    bool quoted = false;

    QByteArray text() const
    {
        if (!quoted || !raw.contains('"'))
            return raw.toByteArray();
        QByteArray out;
        out.reserve(raw.size());
        for (qsizetype i = 0; i < raw.size(); ++i) {
            out.append(raw[i]);
            if (raw[i] == '"')
                ++i;  // the second of a doubled quote
        }
        return out;
    }
};

struct Record
{
    std::array<Field, fieldCount> fields;
    int count = 0;               // fieldCount, or oldFieldCount for an old line
    const char *next = nullptr;  // past the record and its line ending
    bool ended = false;          // it has its line ending (the last record of a file may not)
};

enum class Scan { Complete, NeedMore, Malformed };

// One record from p: its fields, up to a line ending outside quotes (LF, CR LF or a CR alone)
// or, with atEnd, to the end. NeedMore: the data stops inside it. scanRecord takes only a
// history line's count of fields; scanFields any count up to fieldCount.
Scan scanRecord(const char *p, const char *end, bool atEnd, Record &record);
Scan scanFields(const char *p, const char *end, bool atEnd, Record &record);

// A whole number of at most 15 digits (no sign, no spaces); -1 otherwise.
qint64 wholeNumber(const Field &field);

// The fields of a record checked and converted, names and answers left as bytes.
struct RawEntry
{
    QByteArrayView partitaText;
    Stamp partita;
    Stamp ora;
    int fattore = 0;
    bool esatta = false;
    qint64 millisecondi = 0;
    int tabellina = 2;
    qint64 dopoDettatura = -1;  // not known
};

bool checkFields(const Record &record, RawEntry &entry);
// The header of either kind of file, with or without its line ending.
bool isHeader(const char *begin, const char *end);

// A record starting at begin as a class copy holds it, without its line ending: its own bytes,
// an old line (seven fields) completed with the table of 2 and an unknown time, so that it
// still reads after lines of the new kind. Two copies of one answer compare equal this way.
QByteArray copiedRecord(const char *begin, const Record &record);
// Whether the record at begin is, as copied, the given one; no copy made.
bool isCopiedRecord(const char *begin, const Record &record, QByteArrayView copied);

// The first line ending (CR or LF) in [p, end), or nullptr.
inline const char *lineEnd(const char *p, const char *end)
{
    for (; p < end; ++p) {
        if (*p == '\n' || *p == '\r')
            return p;
    }
    return nullptr;
}

// Walks the records of a file as they come, chunk after chunk, calling take(begin, record,
// entry) for each answer. Headers, blank lines and damaged lines are passed by, each damaged
// line counted; an old line after a new one is a new line cut short by a crash. A record still
// without its line ending waits unless atEnd. walk() returns how many bytes it took: give the
// rest again with what follows. The one way the history's lines are told apart, for the
// reader and for the class copy.
class RecordWalker final
{
public:
    // fromStart: the data begins at the file's start (where an editor may have put a
    // byte-order mark); else at a line of the middle.
    explicit RecordWalker(bool fromStart = true)
        : m_atStart(fromStart)
    {
    }

    qint64 skipped() const { return m_skipped; }
    qint64 historyLines() const { return m_historyLines; }  // headers and answers

    template<typename Take>
    qsizetype walk(QByteArrayView data, bool atEnd, Take take)
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
                const char *stop = lineEnd(p, end);
                if (!stop)
                    return data.size();
                m_skippingLine = false;
                p = stop + 1;
                continue;
            }
            // Blank lines (an editor may leave one at the end) are no answers and no damage;
            // so is the LF of a CR LF whose CR ended the record before it.
            if (*p == '\n' || *p == '\r') {
                ++p;
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
                    ++m_historyLines;
                    p = record.next;
                    continue;
                }
                // Old lines come before new ones; a short line after a new one is a new line cut
                // by a crash inside its table or time, and its last field cannot be trusted.
                if (checkFields(record, entry) && (record.count == fieldCount || !m_sawNewLine)) {
                    m_sawNewLine = m_sawNewLine || record.count == fieldCount;
                    ++m_historyLines;
                    take(p, record, entry);
                    p = record.next;
                    continue;
                }
            }
            // Damaged, or cut short at the end: skip its first line only. A line cut inside a
            // quoted name would otherwise swallow the whole lines appended after it.
            ++m_skipped;
            if (const char *stop = lineEnd(p, end)) {
                p = stop + 1;
            } else {
                m_skippingLine = !atEnd;
                p = end;
            }
        }
        return p - begin;
    }

private:
    bool m_atStart = true;
    bool m_skippingLine = false;  // discarding the rest of an overlong damaged line
    qint64 m_skipped = 0;
    qint64 m_historyLines = 0;
    bool m_sawNewLine = false;  // a line with the table and the time after the dictation
};

} // namespace historyformat
