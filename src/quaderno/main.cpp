#include "quaderno/notebookdata.h"
#include "quaderno/quaderno.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The notebook for parents and teachers: reads the game's history and shows it.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quizzolo-quaderno"));
    app.setApplicationDisplayName(QString());
    app.setDesktopFileName(QStringLiteral("quizzolo-quaderno"));
    app.setWindowIcon(QIcon(QStringLiteral(":/art/quaderno.svg")));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    // Qt's own texts (the print dialog, its buttons) in Italian.
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);

    Quaderno window(notebookDataFolder());
    window.show();
    return app.exec();
}
