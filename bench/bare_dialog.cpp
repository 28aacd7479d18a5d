// The yardstick for the game's start-up: a Qt Widgets program that does nothing but show
// the same name dialog, with the same Italian buttons and style, and wait.
#include <QApplication>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);

    QInputDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Quizzolo"));
    dialog.setLabelText(QStringLiteral("Come ti chiami?"));
    dialog.setInputMode(QInputDialog::TextInput);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
