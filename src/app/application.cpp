#include "app/application.h"

#include "app/dialogs.h"
#include "core/italian.h"
#include "core/runtimeerror.h"
#include "core/tabellina.h"

#include <QCommandLineParser>

#include <QFont>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

void setupApplication(QApplication &app)
{
    app.setApplicationName(QStringLiteral("quizzolo"));
    app.setApplicationDisplayName(QString());
    app.setDesktopFileName(QStringLiteral("quizzolo"));

    installQtItalian(app);

    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);

    // Liberation fonts are metric-compatible with Arial and Times New Roman; these
    // families have no free twin, so pick the nearest in weight and width.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("DejaVu Sans"));
}

std::optional<int> readCommandLine(const QStringList &arguments, std::optional<int> &tabellina)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quizzolo: le tabelline con il mago."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra questo aiuto."));
    parser.addOption(help);
    const QCommandLineOption option(QStringLiteral("tabellina"),
                                     QStringLiteral("Gioca la tabellina N (da 2 a 10), oppure tutte le tabelline "
                                                    "mescolate, qualunque sia la scelta ricordata."),
                                     QStringLiteral("N|tutte"));
    parser.addOption(option);
    const auto fail = [](const QString &why) {
        std::fprintf(stderr, "quizzolo: %s\nProva «quizzolo --help».\n", qPrintable(why));
        return 2;
    };
    // Our own words, whether or not Qt's Italian texts are installed.
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        return fail(unknown.isEmpty()
                        ? QStringLiteral("manca il valore dopo --tabellina: un numero da 2 a 10, oppure tutte.")
                        : QStringLiteral("opzione sconosciuta: «%1»").arg(unknown.constFirst()));
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("argomento inatteso: «%1»").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(option)) {
        const QString value = parser.value(option);
        tabellina = parseTabellina(value.toLower());
        if (!tabellina)
            return fail(QStringLiteral("tabellina non valida: «%1». Scrivi un numero da 2 a 10, oppure tutte "
                                       "(per esempio --tabellina 7).").arg(value));
    }
    return std::nullopt;
}

QuizzoloApplication::QuizzoloApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

void reportRuntimeError(const RuntimeError &error, Dialogs &dialogs)
{
    std::fprintf(stderr, "quizzolo: %s\n", error.what());
    std::fflush(stderr);
    dialogs.message(error.message());
}

void QuizzoloApplication::setErrorReporter(std::function<void(const RuntimeError &)> reporter)
{
    m_reporter = std::move(reporter);
}

bool QuizzoloApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const RuntimeError &error) {
        if (!m_reporter)
            throw;
        m_reporter(error);
        std::fflush(nullptr);
        std::_Exit(error.exitStatus());
    }
}
