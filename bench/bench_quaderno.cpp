// Opening the notebook on long histories: the time from the window's construction until
// it shows what it read, and the peak resident memory of the process.
//   bench_quaderno                   10^3 and 10^6 lines in a scratch folder, both figures
//   bench_quaderno write N FOLDER    writes FOLDER/quizzolo/storico.csv with N answers
//   bench_quaderno open FOLDER       opens FOLDER/quizzolo/storico.csv once (for /usr/bin/time -v)
#include "quaderno/quaderno.h"
#include "storico/storico.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Three children, games of 20 answers a few hours apart, every fact, some wrong.
bool writeHistory(const QString &home, qint64 lines)
{
    QDir().mkpath(home + QStringLiteral("/quizzolo"));
    QFile file(home + QStringLiteral("/quizzolo/storico.csv"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = QByteArray(historyHeader) + "\r\n";
    const QStringList names = {QStringLiteral("Lucia"), QStringLiteral("Marco"), QStringLiteral("Giulia")};
    const QDateTime start(QDate(2026, 1, 1), QTime(9, 0), Qt::OffsetFromUTC, 3600);
    HistoryEntry entry;
    for (qint64 i = 0; i < lines; ++i) {
        const qint64 game = i / 20;
        if (i % 20 == 0) {
            entry.partita = start.addSecs(game * 3 * 3600);
            entry.nome = names[game % names.size()];
        }
        entry.ora = entry.partita.addSecs(5 * (i % 20) + 5);
        entry.fattore = int(i * 7 % 10) + 1;
        entry.esatta = i % 9 != 0;
        entry.risposta = QString::number(2 * entry.fattore + (entry.esatta ? 0 : 1));
        entry.millisecondi = 1200 + i * 37 % 4000;
        chunk += encodeHistoryLine(entry);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size() && file.flush();
}

double openMs(const QString &home)
{
    QElapsedTimer timer;
    timer.start();
    Quaderno window(home + QStringLiteral("/quizzolo/"));
    QEventLoop loop;
    QObject::connect(&window, &Quaderno::loaded, &loop, &QEventLoop::quit);
    window.show();
    loop.exec();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::fprintf(stderr, "  (%lld answers, %lld skipped, %lld children)\n", window.summary().entries,
                 window.summary().skipped, qint64(window.summary().names.size()));
    return ms;
}

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"write")
        return writeHistory(args[3], args[2].toLongLong()) ? 0 : 1;
    if (args.size() == 3 && args[1] == u"open") {
        std::printf("apertura del quaderno: %.0f ms\n", openMs(args[2]));
        return 0;
    }
    for (const qint64 lines : {qint64(1000), qint64(1000000)}) {
        QTemporaryDir home;
        if (!writeHistory(home.path(), lines))
            return 1;
        const double ms = openMs(home.path());
        std::printf("apertura del quaderno, %lld righe: %.0f ms (obiettivo per 10^6: < 2000 ms); "
                    "memoria residente massima finora %.1f MB\n", lines, ms, peakMb());
    }
    return 0;
}
