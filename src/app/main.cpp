#include "app/application.h"
#include "app/dialogs.h"
#include "app/tavola.h"
#include "core/runtimeerror.h"
#include "drill/question.h"
#include "speech/desktop/desktopagent.h"

#include <QScreen>

#include <cstdio>
#include <cstdlib>

#include <malloc.h>

namespace {

// Qt's sound service warns when it finds no sound server. The voice already says so in
// Italian and goes on in silence, so those warnings are dropped. Qt logs them in its
// default category, so they are told apart by the service's own prefix.
bool handledByTheVoice(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    return type == QtWarningMsg && qstrcmp(context.category, "default") == 0
        && message.startsWith(QLatin1String("PulseAudioService: "));
}

// Messages go to stderr as Qt would print them, less those the program reports itself.
// Qt gives up (for instance with no display to open) through a fatal message: say so in
// Italian and end with a plain failure status instead of an abort.
void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        if (!handledByTheVoice(type, context, message))
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
    // Memory: the voice, the sound server's client and X each allocate on their own
    // thread, and glibc would give every such thread an arena of its own whose freed
    // space stays resident; one arena is plenty for a program this size. A fixed mmap
    // threshold keeps large blocks (sound, images) out of the heap, so they go back to
    // the system when freed instead of raising the threshold and staying in the heap.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    qInstallMessageHandler(handleMessage);
    QuizzoloApplication app(argc, argv);
    setupApplication(app);
    std::optional<int> tabellina;
    if (const std::optional<int> status = readCommandLine(app.arguments(), tabellina))
        return *status;

    QtDialogs dialogs;
    ClockRandomSource random;
    std::unique_ptr<DesktopAgent> agent = createDesktopAgent();
    // The name dialog is the first thing on screen, as quick as Qt can show it: the
    // window's controls are made while it waits for the child.
    Tavola tavola(*agent, dialogs, random, Tavola::Controls::Later);
    if (tabellina)
        tavola.setTabellinaRichiesta(*tabellina);
    dialogs.whileAsking([&tavola, &agent] {
        tavola.build();
        // The wizard's positions are points of the window's client area once it is on
        // screen; his balloon never hides the problem, the verdict, the counters or the answer.
        agent->setAnchor(tavola.centralWidget(), tavola.keptInSight());
    });
    QObject::connect(&tavola, &Tavola::ended, &app, [](int status) { QCoreApplication::exit(status); });
    app.setErrorReporter([&tavola](const RuntimeError &error) { tavola.reportError(error); });

    try {
        tavola.load();
    } catch (const RuntimeError &error) {
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
