// Times the history of answers: reading and summarising files of a thousand and of a
// million lines (written here, three children over many games), with the reader's peak
// memory, and the cost of one append for the caller (the writing is the worker's).

#include "storico/storico.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// Writes lines of several games of three children, one game a day, in order.
bool writeHistory(const QString &path, qint64 lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(7);
    const QStringList names{QStringLiteral("Anna"), QStringLiteral("Luca"), QStringLiteral("Maria Lucìa")};
    QByteArray chunk = QByteArray(historyHeader) + "\r\n";
    QDateTime start(QDate(2020, 1, 1), QTime(16, 0), Qt::OffsetFromUTC, 3600);
    for (qint64 i = 0; i < lines; ++i) {
        // 60 answers a game.
        const qint64 game = i / 60;
        const QDateTime partita = start.addDays(game / 3).addSecs(3600 * (game % 3));
        const int fattore = int(random() % 10) + 1;
        const bool esatta = random() % 5 != 0;
        const HistoryEntry entry{partita, partita.addSecs(7 * (i % 60)), names[int(game % 3)], fattore,
                                 QString::number(esatta ? 2 * fattore : 2 * fattore + 1), esatta,
                                 qint64(800 + random() % 9000)};
        chunk += encodeHistoryLine(entry);
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size();
}

// The peak resident memory since the last reset, in kB (Linux).
long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long currentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace

int main()
{
    QTemporaryDir tmp;
    for (const qint64 lines : {qint64(1000), qint64(1000000)}) {
        const QString path = tmp.filePath(QStringLiteral("storico-%1.csv").arg(lines));
        if (!writeHistory(path, lines)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        const int runs = lines > 1000 ? 5 : 50;
        std::vector<double> ms;
        long peak = 0;
        long base = 0;
        qint64 entries = 0;
        for (int i = 0; i < runs; ++i) {
            base = currentKb();
            resetPeak();
            QElapsedTimer clock;
            clock.start();
            const HistorySummary summary = readHistory(path);
            ms.push_back(clock.nsecsElapsed() / 1e6);
            peak = std::max(peak, peakKb() - base);
            entries = summary.entries;
        }
        std::sort(ms.begin(), ms.end());
        std::printf("history of %lld lines (%.1f MB) read and summarised: median %.2f ms, best %.2f ms; "
                    "%lld answers; memory above the start %.1f MB%s\n",
                    static_cast<long long>(lines), QFile(path).size() / 1e6, ms[ms.size() / 2], ms.front(),
                    static_cast<long long>(entries), peak / 1024.0, lines > 1000 ? " (target < 1500 ms)" : "");
    }

    // The check's share: building the entry and queueing it.
    const QString path = tmp.filePath(QStringLiteral("append.csv"));
    HistoryLog log(path);
    const QDateTime partita = QDateTime::currentDateTime();
    std::vector<double> us;
    QElapsedTimer clock;
    for (int i = 0; i < 2000; ++i) {
        clock.start();
        log.append({partita, QDateTime::currentDateTime(), QStringLiteral("Anna"), 1 + i % 10, QStringLiteral("14"),
                    true, 1234});
        us.push_back(clock.nsecsElapsed() / 1e3);
        if (i % 100 == 99)
            log.flush();
    }
    log.flush();
    std::sort(us.begin(), us.end());
    std::printf("one answer appended (entry built and queued, on the caller's thread): median %.1f us, "
                "p95 %.1f us\n",
                us[us.size() / 2], us[us.size() * 95 / 100]);
    return 0;
}
