#include "core/italian.h"
#include "quaderno/notebookdata.h"
#include "quaderno/quaderno.h"
#include "records/records.h"
#include "storico/storico.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>

#include <cstdio>

// The notebook for parents and teachers: reads the game's history, or the file or class
// folder named on the command line, and shows it.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quizzolo-quaderno"));
    app.setApplicationDisplayName(QString());
    app.setDesktopFileName(QStringLiteral("quizzolo-quaderno"));
    app.setWindowIcon(QIcon(QStringLiteral(":/art/quaderno.svg")));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    const QStringList args = app.arguments().mid(1);
    if (args.size() > 1 || (args.size() == 1 && args[0].startsWith(u'-'))) {
        std::fprintf(stderr, "uso: quizzolo-quaderno [FILE_DELLO_STORICO | CARTELLA_DELLA_CLASSE]\n");
        return 2;
    }
    if (args.size() == 1 && !QFileInfo::exists(args[0])) {
        std::fprintf(stderr, "quizzolo-quaderno: non trovo %s: indica un file dello storico o la cartella della classe\n",
                     qPrintable(args[0]));
        return 2;
    }

    installQtItalian(app);

    // With nothing named, the class folder this computer's games copy their answers to,
    // when one is set (out of reach, the window says so and offers this computer's own
    // history); else this computer's own history.
    QString path = args.value(0);
    if (const QString classFolder = historyClassFolder(); path.isEmpty() && !classFolder.isEmpty())
        path = classFolder;
    Quaderno window(dataFolderPath(), path);
    window.show();
    return app.exec();
}
