// The record-saving steps of the program, one per process, so that a test can kill
// them part-way:
//   crash_writer save DIR PUNTI NOME   writeRecord(DIR/, PUNTI, NOME)
//   crash_writer recover DIR           what start-up does: createRecordFiles(DIR/)
//   crash_writer saves DIR N           N saves in a row, save i storing "i" and "Nome i";
//                                      prints "saved i" after each one that returned
//   crash_writer history DIR N         N answers appended to DIR/storico.csv, answer i with
//                                      "i" as its time; prints "appended i" after each one
//                                      that reached the file
//   crash_writer catchup DIR CLASS     brings this computer's copy in the folder CLASS up to
//                                      date with DIR/storico.csv; prints "caught up" when done
// A run-time error prints its message and ends with its number.
#include "core/runtimeerror.h"
#include "records/records.h"
#include "storico/classcopy.h"
#include "storico/historylog.h"
#include "storico/storico.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fputs("uso: crash_writer save|recover|saves CARTELLA ...\n", stderr);
        return 2;
    }
    const QString command = args.at(1);
    const QString dirwin = args.at(2) + u'/';
    try {
        if (command == u"save" && args.size() == 5) {
            writeRecord(dirwin, args.at(3), args.at(4));
        } else if (command == u"recover") {
            createRecordFiles(dirwin);
        } else if (command == u"saves" && args.size() == 4) {
            const int count = args.at(3).toInt();
            for (int i = 1; i <= count; ++i) {
                writeRecord(dirwin, QString::number(i), QStringLiteral("Nome %1").arg(i));
                std::printf("saved %d\n", i);
                std::fflush(stdout);
            }
        } else if (command == u"history" && args.size() == 4) {
            const int count = args.at(3).toInt();
            HistoryLog log(dirwin + QLatin1String(historyFileName));
            const QDateTime partita = QDateTime::currentDateTime();
            for (int i = 1; i <= count; ++i) {
                log.append({partita, QDateTime::currentDateTime(), QStringLiteral("Zoë \"la tigre\""), 1 + i % 10,
                            QString::number(i), i % 2 == 0, i});
                if (log.flush())
                    std::printf("appended %d\n", i);
                std::fflush(stdout);
            }
        } else if (command == u"catchup" && args.size() == 4) {
            ClassCopy copy(dirwin + QLatin1String(historyFileName), args.at(3) + u'/' + classHistoryFileName());
            if (!copy.catchUp()) {
                std::fprintf(stderr, "crash_writer: %s\n", qPrintable(copy.reason()));
                return 1;
            }
            std::puts("caught up");
        } else {
            std::fputs("crash_writer: comando sconosciuto\n", stderr);
            return 2;
        }
    } catch (const RuntimeError &error) {
        std::fprintf(stderr, "crash_writer: %s\n", error.what());
        return error.number() & 0xff;
    }
    return 0;
}
