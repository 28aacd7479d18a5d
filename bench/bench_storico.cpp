// Times the history of answers: reading and summarising files of a thousand and of a
// million lines (written here, three children over many games), with the reader's peak
// memory; a class folder of 30 files holding a million answers of 22 children over three
// months, read as one class and then followed (one appended line picked up); and the cost
// of one append for the caller (the writing is the worker's); with a class folder, an answer
// to the copy there, and a copy caught up with a history of a million answers.

#include "storico/classcopy.h"
#include "storico/historylog.h"
#include "storico/storico.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>
#include <time.h>

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

// Writes a class folder: 22 children, games of 60 answers over 90 days, each game on one of
// `files` computers (its own file), tables 2 to 10 or mixed, with the time after the dictation.
bool writeClass(const QString &folder, int files, qint64 answers)
{
    std::mt19937 random(11);
    std::vector<QByteArray> content(size_t(files), QByteArray(historyHeader) + "\r\n");
    QStringList names;
    for (int c = 0; c < 22; ++c)
        names.append(QStringLiteral("Bambino %1").arg(QChar(u'A' + c)));
    const qint64 games = answers / 60;
    const QDateTime start(QDate(2026, 9, 1), QTime(9, 0), Qt::OffsetFromUTC, 3600);
    for (qint64 g = 0; g < games; ++g) {
        const QDateTime partita = start.addSecs(g * 90 * 86400 / games);
        const QString &name = names[int(random() % 22)];
        const int table = int(random() % 10);  // 0: every table
        QByteArray &file = content[size_t(g % files)];
        for (int i = 0; i < 60; ++i) {
            const int tabellina = table == 0 ? int(2 + random() % 9) : table + 1 > 10 ? 2 : table + 1;
            const int fattore = int(random() % 10) + 1;
            const bool esatta = random() % 6 != 0;
            const qint64 dopo = qint64(500 + random() % 7000);
            HistoryEntry entry{partita, partita.addSecs(6 * i), name, fattore,
                               QString::number(tabellina * fattore + (esatta ? 0 : 1)), esatta, dopo + 900,
                               tabellina, dopo};
            file += encodeHistoryLine(entry);
        }
    }
    for (int f = 0; f < files; ++f) {
        QFile out(QStringLiteral("%1/storico-pc%2-aula.csv").arg(folder).arg(f, 2, 10, QChar(u'0')));
        if (!out.open(QIODevice::WriteOnly) || out.write(content[size_t(f)]) != content[size_t(f)].size())
            return false;
    }
    return true;
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

// The process's CPU time, in ms: unlike the wall clock, not lengthened by other programs
// sharing the cores.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The heap in use, in bytes (glibc).
size_t heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
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
    // A class folder: opened, then followed.
    const QString folder = tmp.filePath(QStringLiteral("classe"));
    if (!QDir().mkpath(folder) || !writeClass(folder, 30, 1000000)) {
        std::fprintf(stderr, "cannot write the class folder\n");
        return 1;
    }
    qint64 bytes = 0;
    for (const QString &file : historyFilesIn(folder))
        bytes += QFile(file).size();
    {
        std::vector<double> ms;
        std::vector<double> cpu;
        long peak = 0;
        qint64 entries = 0;
        for (int i = 0; i < 5; ++i) {
            const long base = currentKb();
            resetPeak();
            QElapsedTimer clock;
            const double cpuStart = cpuMs();
            clock.start();
            const HistorySummary summary = readHistoryFiles({folder});
            ms.push_back(clock.nsecsElapsed() / 1e6);
            cpu.push_back(cpuMs() - cpuStart);
            peak = std::max(peak, peakKb() - base);
            entries = summary.entries;
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("class folder of %lld files (%.1f MB, %lld answers) read as one class: median %.1f ms, "
                    "best %.1f ms (CPU time median %.1f ms); memory above the start %.1f MB (target < 1000 ms)\n",
                    static_cast<long long>(historyFilesIn(folder).size()), bytes / 1e6,
                    static_cast<long long>(entries), ms[ms.size() / 2], ms.front(), cpu[cpu.size() / 2],
                    peak / 1024.0);
    }
    {
        const size_t heapBase = heapBytes();
        QElapsedTimer clock;
        clock.start();
        HistoryFollower follower({folder});
        HistorySummary summary = follower.refresh();
        const double openMs = clock.nsecsElapsed() / 1e6;
        const double heapMb = double(heapBytes() - heapBase) / 1e6;
        const QString file = historyFilesIn(folder).value(7);
        std::vector<double> appended;
        std::vector<double> idle;
        const QDateTime partita(QDate(2026, 12, 1), QTime(9, 0), Qt::OffsetFromUTC, 3600);
        for (int i = 0; i < 50; ++i) {
            QFile out(file);
            if (!out.open(QIODevice::Append))
                return 1;
            out.write(encodeHistoryLine({partita, partita.addSecs(i), QStringLiteral("Bambino C"), 1 + i % 10,
                                         QStringLiteral("14"), true, 1500, 7, 1200}));
            out.close();
            clock.start();
            summary = follower.refresh();
            appended.push_back(clock.nsecsElapsed() / 1e6);
            clock.start();
            summary = follower.refresh();
            idle.push_back(clock.nsecsElapsed() / 1e6);
        }
        std::sort(appended.begin(), appended.end());
        std::sort(idle.begin(), idle.end());
        std::printf("class folder followed: opened in %.1f ms, holding %.1f MB of heap (state and summary); "
                    "one appended line picked up by refresh() in median %.2f ms, p95 %.2f ms (target < 500 ms); "
                    "refresh() with nothing new median %.3f ms; %lld answers\n",
                    openMs, heapMb, appended[appended.size() / 2],
                    appended[appended.size() * 95 / 100], idle[idle.size() / 2],
                    static_cast<long long>(summary.entries));
    }

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

    // With a class folder: from the append to the answer in this computer's history and in
    // its copy there (the worker threads' share).
    {
        const QString folder = tmp.filePath(QStringLiteral("classe"));
        QDir().mkpath(folder);
        HistoryLog copied(tmp.filePath(QStringLiteral("copiato.csv")), folder);
        std::vector<double> ms;
        for (int i = 0; i < 500; ++i) {
            clock.start();
            copied.append({partita, QDateTime::currentDateTime(), QStringLiteral("Anna"), 1 + i % 10,
                           QStringLiteral("14"), true, 1234});
            copied.flush();
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("one answer to this computer's history and its class copy: median %.2f ms, p95 %.2f ms\n",
                    ms[ms.size() / 2], ms[ms.size() * 95 / 100]);
    }

    // Catching up: a copy lacking the last tenth of a million answers, and an earlier
    // version's copy that holds none of them (the whole history looked through, then copied).
    for (const bool earlier : {false, true}) {
        const QString own = tmp.filePath(QStringLiteral("storico-1000000.csv"));
        const QString copy = tmp.filePath(QStringLiteral("copia.csv"));
        if (earlier) {
            QFile::remove(copy);
            QFile file(copy);
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray(historyHeader) + "\r\n" + encodeHistoryLine({partita, partita, QStringLiteral("Eva"),
                                                                                   1, QStringLiteral("2"), true, 1}));
        } else {
            QFile source(own);
            source.open(QIODevice::ReadOnly);
            QFile file(copy);
            file.open(QIODevice::WriteOnly);
            file.write(source.read(source.size() * 9 / 10));
        }
        resetPeak();
        const long base = peakKb();
        clock.start();
        ClassCopy catchUp(own, copy);
        const bool done = catchUp.catchUp();
        std::printf("%s caught up with %.0f MB of history: %.0f ms%s; memory above the start %.1f MB\n",
                    earlier ? "an earlier version's copy" : "a copy lacking a tenth of the answers",
                    QFile(own).size() / 1e6, clock.nsecsElapsed() / 1e6, done ? "" : " (FAILED)",
                    (peakKb() - base) / 1024.0);
    }
    return 0;
}
