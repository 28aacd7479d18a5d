#include "app/application.h"
#include "app/dialogs.h"
#include "app/runtimeerror.h"
#include "app/tavola.h"
#include "drill/question.h"
#include "speech/desktopagent.h"

#include <QScreen>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt gives up (for instance with no display to open) through a fatal message: say so in
// Italian and end with a plain failure status instead of an abort.
void reportFatal(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    std::fprintf(stderr, "quizzolo: impossibile avviare il gioco: nessuno schermo disponibile (%s)\n",
                 qPrintable(message));
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(reportFatal);
    QuizzoloApplication app(argc, argv);
    setupApplication(app);

    QtDialogs dialogs;
    ClockRandomSource random;
    std::unique_ptr<DesktopAgent> agent = createDesktopAgent();
    Tavola tavola(*agent, dialogs, random);
    // The wizard's positions are points of the window's client area once it is on screen.
    agent->setAnchor(tavola.centralWidget());
    QObject::connect(&tavola, &Tavola::ended, &app, [](int status) { QCoreApplication::exit(status); });

    try {
        tavola.load();
    } catch (const RuntimeError &error) {
        // Reported by the window, which first stops its clock: no tick may start
        // the leaving steps behind the error's message box.
        std::fprintf(stderr, "quizzolo: %s\n", error.what());
        tavola.reportError(error);
        return error.exitStatus();
    }

    // Centred on the screen.
    const QRect screen = tavola.screen()->availableGeometry();
    tavola.move(screen.center() - tavola.rect().center());
    tavola.show();
    tavola.activateWindow();
    return app.exec();
}
