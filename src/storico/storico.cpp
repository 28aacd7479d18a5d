#include "storico/storico.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int fieldCount = 7;
// No line the game writes comes near this (the longest name and answer the window takes
// are a few hundred kilobytes at worst); a longer "record" is damage, and skipping it keeps
// the reader's memory bounded.
constexpr qsizetype longestRecord = qsizetype(1) << 20;

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

// Parsed by hand: QDateTime::fromString would dominate the reading of a long history.
// Accepts what the writer writes and its UTC spelling with "Z".
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

// A field's text. Unlike QString::fromUtf8, a name or answer that starts with U+FEFF keeps
// it: that is text, not a byte-order mark.
QString textOf(QByteArrayView utf8)
{
    // Stateless: a character cut at the field's end reads as U+FFFD, not as nothing.
    QStringDecoder decode(QStringConverter::Utf8,
                          QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    return decode(utf8);
}

// Fields: ';'-separated, quoted with '"' (inner quotes doubled) where needed.

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
    const char *next = nullptr;  // past the record and its line ending
    bool ended = false;          // it has its line ending (the last record of a file may not)
};

enum class Scan { Complete, NeedMore, Malformed };

// One record from p: its fields, up to a line feed outside quotes (a CR before it belongs to
// the line ending) or, with atEnd, to the end. NeedMore: the data stops inside it.
Scan scanRecord(const char *p, const char *end, bool atEnd, Record &record)
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
            if (after < end && *after == '\r') {
                if (after + 1 == end && !atEnd)
                    return Scan::NeedMore;
                if (after + 1 == end || after[1] != '\n')
                    return Scan::Malformed;
                ++after;
            }
            if (after < end && *after != ';' && *after != '\n')
                return Scan::Malformed;
        } else {
            const char *start = p;
            while (p < end && *p != ';' && *p != '\n') {
                if (*p == '"')
                    return Scan::Malformed;
                ++p;
            }
            if (p == end && !atEnd)
                return Scan::NeedMore;
            const char *stop = p;
            if (p < end && *p == '\n' && stop > start && stop[-1] == '\r')
                --stop;
            field = {QByteArrayView(start, stop - start), false};
            after = p;
        }
        if (after == end) {
            record.next = end;
            record.ended = false;
            return count == fieldCount ? Scan::Complete : Scan::Malformed;
        }
        if (*after == '\n') {
            record.next = after + 1;
            record.ended = true;
            return count == fieldCount ? Scan::Complete : Scan::Malformed;
        }
        p = after + 1;  // past ';'
    }
}

// A whole number of at most 15 digits (no sign, no spaces); -1 otherwise.
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

// The fields of a record checked and converted, names and answers left as bytes.
struct RawEntry
{
    QByteArrayView partitaText;
    Stamp partita;
    Stamp ora;
    int fattore = 0;
    bool esatta = false;
    qint64 millisecondi = 0;
};

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
    return true;
}

bool isHeader(const char *begin, const char *end)
{
    QByteArrayView line(begin, end - begin);
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line == QByteArrayView(historyHeader);
}

qint64 median(std::vector<quint32> &values)
{
    if (values.empty())
        return -1;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + qsizetype(middle), values.end());
    const qint64 upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    const qint64 lower = *std::max_element(values.begin(), values.begin() + qsizetype(middle));
    return (lower + upper) / 2;
}

} // namespace

#if 0 // stand-in: the old summary
// Reads records as they come, chunk after chunk, keeping only the counts and times.
class HistoryReader::Impl final
{
public:
    qsizetype feed(QByteArrayView data, bool atEnd);
    HistorySummary finish();

private:
    struct Game
    {
        qint64 epoch = 0;
        QDateTime started;
        int right = 0;
        int wrong = 0;
    };
    struct Child
    {
        QString name;
        std::array<std::vector<quint32>, 10> times;
        std::array<int, 10> right{};
        std::vector<Game> games;
        QHash<qint64, int> gameIndex;  // partita's instant -> games
        qint64 lastOra = 0;
        qint64 lastLine = -1;
    };

    void add(const Record &record, const RawEntry &entry);
    int childFor(const Field &nome);

    std::vector<Child> m_children;
    std::unordered_map<std::string, int> m_childIndex;  // the name's bytes -> m_children
    QHash<QString, int> m_byName;
    // Consecutive lines mostly belong to the same child and game: remember the last ones.
    QByteArray m_lastName;
    int m_lastChild = -1;
    QByteArray m_lastPartita;
    int m_lastGameChild = -1;
    int m_lastGame = -1;

    bool m_atStart = true;
    bool m_skippingLine = false;  // discarding the rest of an overlong damaged line
    qint64 m_entries = 0;
    qint64 m_skipped = 0;
};

int HistoryReader::Impl::childFor(const Field &nome)
{
    if (m_lastChild >= 0 && !nome.quoted && nome.raw == m_lastName)
        return m_lastChild;
    const QByteArray name = nome.text();
    if (m_lastChild >= 0 && name == m_lastName)
        return m_lastChild;
    const std::string key(name.constData(), size_t(name.size()));
    auto it = m_childIndex.find(key);
    if (it == m_childIndex.end()) {
        // Different bytes may read as the same name (damaged UTF-8 becomes U+FFFD): one child.
        const QString text = textOf(name);
        int index = m_byName.value(text, -1);
        if (index < 0) {
            index = int(m_children.size());
            m_byName.insert(text, index);
            m_children.emplace_back();
            m_children.back().name = text;
        }
        it = m_childIndex.emplace(key, index).first;
    }
    m_lastName = name;
    m_lastChild = it->second;
    return it->second;
}

void HistoryReader::Impl::add(const Record &record, const RawEntry &entry)
{
    const int c = childFor(record.fields[2]);
    Child &child = m_children[size_t(c)];
    int g;
    if (c == m_lastGameChild && entry.partitaText == m_lastPartita) {
        g = m_lastGame;
    } else {
        const auto found = child.gameIndex.constFind(entry.partita.epoch);
        if (found != child.gameIndex.cend()) {
            g = *found;
        } else {
            g = int(child.games.size());
            child.gameIndex.insert(entry.partita.epoch, g);
            child.games.push_back({entry.partita.epoch, entry.partita.toDateTime(), 0, 0});
        }
        m_lastGameChild = c;
        m_lastPartita = entry.partitaText.toByteArray();
        m_lastGame = g;
    }
    Game &game = child.games[size_t(g)];
    (entry.esatta ? game.right : game.wrong) += 1;
    const int f = entry.fattore - 1;
    child.times[size_t(f)].push_back(quint32(std::min<qint64>(entry.millisecondi, UINT32_MAX)));
    child.right[size_t(f)] += entry.esatta;
    if (child.lastLine < 0 || entry.ora.epoch >= child.lastOra) {
        child.lastOra = entry.ora.epoch;
        child.lastLine = m_entries;
    }
    ++m_entries;
}

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
            if (checkFields(record, entry)) {
                add(record, entry);
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
    HistorySummary summary;
    summary.exists = true;
    summary.entries = m_entries;
    summary.skipped = m_skipped;

    std::vector<int> order(m_children.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        const Child &x = m_children[size_t(a)];
        const Child &y = m_children[size_t(b)];
        return x.lastOra != y.lastOra ? x.lastOra > y.lastOra : x.lastLine > y.lastLine;
    });

    for (const int i : order) {
        Child &child = m_children[size_t(i)];
        ChildReport report;
        report.name = child.name;
        std::stable_sort(child.games.begin(), child.games.end(),
                         [](const Game &a, const Game &b) { return a.epoch < b.epoch; });
        report.games.reserve(qsizetype(child.games.size()));
        for (const Game &game : child.games)
            report.games.append({game.started, game.right, game.wrong});

        std::vector<quint32> all;
        for (size_t f = 0; f < 10; ++f) {
            all.insert(all.end(), child.times[f].begin(), child.times[f].end());
            report.facts[f].answers = int(child.times[f].size());
            report.facts[f].right = child.right[f];
            report.facts[f].medianMs = median(child.times[f]);
            std::vector<quint32>().swap(child.times[f]);
        }
        const qint64 overall = median(all);

        // The facts to practise most: at most three, the lowest share of right answers
        // first and, among equal shares, the slower median first. Only facts answered at
        // least once, and only those not yet mastered: some answer wrong, or a median slower
        // than the child's median over all facts. A child who is always right and even
        // gets no mark; one fact much slower than the rest does.
        std::vector<int> candidates;
        for (int f = 0; f < 10; ++f) {
            const FactStats &fact = report.facts[size_t(f)];
            if (fact.answers > 0 && (fact.right < fact.answers || fact.medianMs > overall))
                candidates.push_back(f);
        }
        std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) {
            const FactStats &x = report.facts[size_t(a)];
            const FactStats &y = report.facts[size_t(b)];
            // x.right / x.answers < y.right / y.answers, without rounding.
            const qint64 left = qint64(x.right) * y.answers;
            const qint64 right = qint64(y.right) * x.answers;
            return left != right ? left < right : x.medianMs > y.medianMs;
        });
        for (size_t k = 0; k < candidates.size() && k < 3; ++k)
            report.facts[size_t(candidates[k])].weak = true;

        summary.names.append(report.name);
        summary.children.insert(report.name, std::move(report));
    }
    return summary;
}

#endif
namespace {

// Why the history cannot be written, as the message on stderr says it.
QString reasonText(int err)
{
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("disco pieno");
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case EROFS:
        return QStringLiteral("disco di sola lettura");
    case EISDIR:
        return QStringLiteral("è una cartella");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("cartella mancante");
    case EIO:
        return QStringLiteral("errore del disco");
    default:
        return QStringLiteral("errore di sistema %1").arg(err);
    }
}

// Writes all of data; false with errno set on failure.
bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

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
    return entry;
}

#if 0 // stand-in: the old summary
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

#endif
// HistoryLog: a queue, and one thread that appends what is queued.

class HistoryLog::Worker
{
public:
    struct State
    {
        QString path;
        std::mutex mutex;
        std::condition_variable wake;  // something queued, or stop
        std::condition_variable idle;  // the queue emptied, or the thread ended
        std::deque<HistoryEntry> queue;
        bool busy = false;
        bool stop = false;
        bool exited = false;
        bool failed = false;  // touched by the thread only, read under the mutex
    };

    explicit Worker(const QString &path)
        : state(std::make_shared<State>())
    {
        state->path = path;
        // The thread owns a share of the state: if it is stuck on a dead disk when the
        // log is destroyed, it is left behind with what it needs.
        thread = std::thread(run, state);
    }

    static void run(std::shared_ptr<State> s);

    std::shared_ptr<State> state;
    std::thread thread;
};

namespace {

struct Appender
{
    const QString &path;
    int fd = -1;
    bool failed = false;

    void fail(int err) { fail(reasonText(err)); }
    void fail(const QString &reason)
    {
        failed = true;
        std::fprintf(stderr, "quizzolo: impossibile scrivere lo storico delle risposte (%s: %s): il gioco continua senza\n",
                     qPrintable(path), qPrintable(reason));
        std::fflush(stderr);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Opens for appending; writes the header into a new or empty file, and a line ending
    // after a line cut short by an earlier crash, so the next line starts on its own.
    bool open()
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        const bool existed = ::stat(name.constData(), &st) == 0;
        // O_NONBLOCK: a pipe put in the file's place must not block the opening.
        fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) {
            fail(errno);
            return false;
        }
        if (::fstat(fd, &st) != 0) {
            fail(errno);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            fail(QStringLiteral("non è un file normale"));
            return false;
        }
        if (st.st_size == 0) {
            const QByteArray header = QByteArray(historyHeader) + "\r\n";
            if (!writeAll(fd, header.constData(), header.size())) {
                const int err = errno;
                // A full disk takes the new file but not its first line: leave nothing behind.
                if (!existed)
                    ::unlink(name.constData());
                fail(err);
                return false;
            }
        } else {
            char last = '\n';
            if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && !writeAll(fd, "\r\n", 2)) {
                fail(errno);
                return false;
            }
        }
        return true;
    }

    void append(const HistoryEntry &entry)
    {
        if (failed || (fd < 0 && !open()))
            return;
        // One write per line: a crash loses at most the line being written.
        const QByteArray line = encodeHistoryLine(entry);
        if (!writeAll(fd, line.constData(), line.size()))
            fail(errno);
    }

    // The file is open only while lines are being written: a file held open would stop
    // its disk from being remounted read-only or taken away, and a history deleted
    // between two answers is started again rather than written into a removed file.
    void close()
    {
        if (fd < 0)
            return;
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0 && errno != EINTR)
            fail(errno);
    }
};

} // namespace

void HistoryLog::Worker::run(std::shared_ptr<State> s)
{
    Appender appender{s->path};
    std::unique_lock lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&] { return s->stop || !s->queue.empty(); });
        if (s->queue.empty())
            break;
        std::deque<HistoryEntry> batch;
        batch.swap(s->queue);
        s->busy = true;
        lock.unlock();
        for (const HistoryEntry &entry : batch)
            appender.append(entry);
        appender.close();
        lock.lock();
        s->busy = false;
        s->failed = appender.failed;
        s->idle.notify_all();
    }
    // No sync: a power cut may lose the lines of the last seconds (still in the system's
    // cache) but damages no older line, and a sync per answer could stall on a slow disk.
    s->exited = true;
    s->idle.notify_all();
}

HistoryLog::HistoryLog(const QString &path)
    : m_worker(std::make_unique<Worker>(path))
{
}

HistoryLog::~HistoryLog()
{
    const auto &s = m_worker->state;
    std::unique_lock lock(s->mutex);
    s->stop = true;
    s->wake.notify_all();
    // The game must not hang on leaving because a disk stopped answering.
    const bool exited = s->idle.wait_for(lock, std::chrono::seconds(2), [&] { return s->exited; });
    lock.unlock();
    if (exited)
        m_worker->thread.join();
    else
        m_worker->thread.detach();
}

void HistoryLog::append(const HistoryEntry &entry)
{
    const auto &s = m_worker->state;
    {
        const std::lock_guard lock(s->mutex);
        if (s->failed)
            return;
        s->queue.push_back(entry);
    }
    s->wake.notify_one();
}

bool HistoryLog::flush(int timeoutMs)
{
    const auto &s = m_worker->state;
    std::unique_lock lock(s->mutex);
    const bool done = s->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return s->queue.empty() && !s->busy; });
    return done && !s->failed;
}
