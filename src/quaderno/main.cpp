#include "core/italian.h"
#include "quaderno/notebookdata.h"
#include "quaderno/quaderno.h"
#include "records/records.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

// The notebook for parents and teachers: reads the game's history and shows it.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quizzolo-quaderno"));
    app.setApplicationDisplayName(QString());
    app.setDesktopFileName(QStringLiteral("quizzolo-quaderno"));
    app.setWindowIcon(QIcon(QStringLiteral(":/art/quaderno.svg")));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    installQtItalian(app);

    Quaderno window(dataFolderPath());
    window.show();
    return app.exec();
}
