#include "storico/historyformat.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace historyformat {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return qint64(era) * 146097 + doe - 719468;
}

int daysInMonth(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// Digits at text[at..at+count) as a number; -1 if any is not a digit.
int digits(QByteArrayView text, qsizetype at, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<Stamp> parseStamp(QByteArrayView text)
{
    if (text.size() != 25 && text.size() != 20)
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    Stamp s;
    s.year = digits(text, 0, 4);
    s.month = digits(text, 5, 2);
    s.day = digits(text, 8, 2);
    s.hour = digits(text, 11, 2);
    s.minute = digits(text, 14, 2);
    s.second = digits(text, 17, 2);
    if (s.year < 1 || s.month < 1 || s.month > 12 || s.day < 1 || s.day > daysInMonth(s.year, s.month)
        || s.hour < 0 || s.hour > 23 || s.minute < 0 || s.minute > 59 || s.second < 0 || s.second > 59)
        return std::nullopt;
    if (text.size() == 20) {
        if (text[19] != 'Z')
            return std::nullopt;
    } else {
        const char sign = text[19];
        const int hours = digits(text, 20, 2);
        const int minutes = digits(text, 23, 2);
        if ((sign != '+' && sign != '-') || text[22] != ':' || hours < 0 || hours > 14 || minutes < 0 || minutes > 59)
            return std::nullopt;
        s.offset = (hours * 3600 + minutes * 60) * (sign == '-' ? -1 : 1);
    }
    s.epoch = daysFromCivil(s.year, s.month, s.day) * 86400 + s.hour * 3600 + s.minute * 60 + s.second - s.offset;
    return s;
}

void appendStamp(QByteArray &line, const QDateTime &when)
{
    if (!when.isValid())
        return;
    QDateTime t = when;
    // An offset with seconds (old local mean times) has no ISO spelling here: say it in UTC.
    if (t.offsetFromUtc() % 60 != 0)
        t = t.toUTC();
    const QDate d = t.date();
    const QTime h = t.time();
    const int offset = t.offsetFromUtc();
    const int magnitude = offset < 0 ? -offset : offset;
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", d.year(), d.month(),
                                d.day(), h.hour(), h.minute(), h.second(), offset < 0 ? '-' : '+', magnitude / 3600,
                                magnitude % 3600 / 60);
    line.append(text, n);
}

QString textOf(QByteArrayView utf8)
{
    // Stateless: a character cut at the field's end reads as U+FFFD, not as nothing.
    QStringDecoder decode(QStringConverter::Utf8,
                          QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    return decode(utf8);
}

void appendField(QByteArray &line, QByteArrayView field)
{
    const bool quote = std::any_of(field.begin(), field.end(),
                                   [](char c) { return c == ';' || c == '"' || c == '\r' || c == '\n'; });
    if (!quote) {
        line.append(field);
        return;
    }
    line.append('"');
    for (const char c : field) {
        if (c == '"')
            line.append('"');
        line.append(c);
    }
    line.append('"');
}

Scan scanFields(const char *p, const char *end, bool atEnd, Record &record)
{
    int count = 0;
    for (;;) {
        if (count == fieldCount)
            return Scan::Malformed;
        Field &field = record.fields[count++];
        const char *after;  // the separator or line ending after the field
        if (p < end && *p == '"') {
            const char *start = ++p;
            for (;;) {
                const auto *q = static_cast<const char *>(std::memchr(p, '"', size_t(end - p)));
                if (!q)
                    return atEnd ? Scan::Malformed : Scan::NeedMore;
                if (q + 1 == end && !atEnd)
                    return Scan::NeedMore;
                if (q + 1 < end && q[1] == '"') {
                    p = q + 2;
                    continue;
                }
                field = {QByteArrayView(start, q - start), true};
                after = q + 1;
                break;
            }
            if (after < end && *after != ';' && *after != '\n' && *after != '\r')
                return Scan::Malformed;
        } else {
            const char *start = p;
            while (p < end && *p != ';' && *p != '\n' && *p != '\r') {
                if (*p == '"')
                    return Scan::Malformed;
                ++p;
            }
            if (p == end && !atEnd)
                return Scan::NeedMore;
            field = {QByteArrayView(start, p - start), false};
            after = p;
        }
        // A line ends with LF, CR LF or CR alone (a CR at the end of the data ends it too: an
        // LF that follows later reads as a blank line).
        if (after == end || *after == '\n' || *after == '\r') {
            record.next = after == end ? end : after + 1;
            if (after != end && *after == '\r' && record.next != end && *record.next == '\n')
                ++record.next;
            record.ended = after != end;
            record.count = count;
            return Scan::Complete;
        }
        p = after + 1;  // past ';'
    }
}

Scan scanRecord(const char *p, const char *end, bool atEnd, Record &record)
{
    const Scan scan = scanFields(p, end, atEnd, record);
    if (scan == Scan::Complete && record.count != fieldCount && record.count != oldFieldCount)
        return Scan::Malformed;
    return scan;
}

qint64 wholeNumber(const Field &field)
{
    if (field.quoted || field.raw.isEmpty() || field.raw.size() > 15)
        return -1;
    qint64 value = 0;
    for (const char c : field.raw) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool checkFields(const Record &record, RawEntry &entry)
{
    const auto &f = record.fields;
    const std::optional<Stamp> partita = f[0].quoted ? std::nullopt : parseStamp(f[0].raw);
    const std::optional<Stamp> ora = f[1].quoted ? std::nullopt : parseStamp(f[1].raw);
    const qint64 fattore = wholeNumber(f[3]);
    const qint64 esatta = f[5].raw.size() == 1 ? wholeNumber(f[5]) : -1;
    const qint64 ms = wholeNumber(f[6]);
    if (!partita || !ora || fattore < 1 || fattore > 10 || esatta < 0 || esatta > 1 || ms < 0 || f[2].raw.isEmpty())
        return false;
    entry.partitaText = f[0].raw;
    entry.partita = *partita;
    entry.ora = *ora;
    entry.fattore = int(fattore);
    entry.esatta = esatta == 1;
    entry.millisecondi = ms;
    entry.tabellina = 2;
    entry.dopoDettatura = -1;
    if (record.count == fieldCount) {
        const qint64 tabellina = wholeNumber(f[7]);
        const bool known = !f[8].raw.isEmpty() || f[8].quoted;  // an empty field: not known
        const qint64 dopo = known ? wholeNumber(f[8]) : -1;
        if (tabellina < 2 || tabellina > 10 || (known && dopo < 0))
            return false;
        entry.tabellina = int(tabellina);
        entry.dopoDettatura = dopo;
    }
    return true;
}

bool isHeader(const char *begin, const char *end)
{
    QByteArrayView line(begin, end - begin);
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line == QByteArrayView(historyHeader) || line == QByteArrayView(oldHistoryHeader);
}

namespace {

// The record's bytes up to its line ending (a quoted field ends with its quote, so what ends
// the record is the line ending).
QByteArrayView recordBytes(const char *begin, const Record &record)
{
    const char *end = record.next;
    while (end > begin && (end[-1] == '\n' || end[-1] == '\r'))
        --end;
    return QByteArrayView(begin, end - begin);
}

constexpr QByteArrayView oldLineEnd(";2;");

} // namespace

QByteArray copiedRecord(const char *begin, const Record &record)
{
    QByteArray copied = recordBytes(begin, record).toByteArray();
    if (record.count == oldFieldCount)
        copied += oldLineEnd;
    return copied;
}

bool isCopiedRecord(const char *begin, const Record &record, QByteArrayView copied)
{
    const QByteArrayView bytes = recordBytes(begin, record);
    if (record.count != oldFieldCount)
        return bytes == copied;
    return copied.size() == bytes.size() + oldLineEnd.size() && copied.startsWith(bytes) && copied.endsWith(oldLineEnd);
}

} // namespace historyformat

using namespace historyformat;

QByteArray encodeHistoryLine(const HistoryEntry &entry)
{
    QByteArray line;
    line.reserve(96 + entry.nome.size() + entry.risposta.size());
    appendStamp(line, entry.partita);
    line.append(';');
    appendStamp(line, entry.ora);
    line.append(';');
    appendField(line, entry.nome.toUtf8());
    line.append(';');
    line.append(QByteArray::number(entry.fattore));
    line.append(';');
    appendField(line, entry.risposta.toUtf8());
    line.append(';');
    line.append(entry.esatta ? '1' : '0');
    line.append(';');
    line.append(QByteArray::number(entry.millisecondi));
    line.append(';');
    line.append(QByteArray::number(entry.tabellina));
    line.append(';');
    if (entry.dopoDettatura >= 0)
        line.append(QByteArray::number(entry.dopoDettatura));
    line.append("\r\n");
    return line;
}

std::optional<HistoryEntry> decodeHistoryLine(QByteArrayView line)
{
    const char *end = line.data() + line.size();
    Record record;
    RawEntry raw;
    if (scanRecord(line.data(), end, true, record) != Scan::Complete || record.next != end
        || !checkFields(record, raw))
        return std::nullopt;
    HistoryEntry entry;
    entry.partita = raw.partita.toDateTime();
    entry.ora = raw.ora.toDateTime();
    entry.nome = textOf(record.fields[2].text());
    entry.fattore = raw.fattore;
    entry.risposta = textOf(record.fields[4].text());
    entry.esatta = raw.esatta;
    entry.millisecondi = raw.millisecondi;
    entry.tabellina = raw.tabellina;
    entry.dopoDettatura = raw.dopoDettatura;
    return entry;
}
