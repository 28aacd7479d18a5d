#include "app/application.h"

#include "app/dialogs.h"
#include "core/italian.h"
#include "core/runtimeerror.h"

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
