#include "app/application.h"
#include "app/dialogs.h"
#include "app/runtimeerror.h"
#include "app/tavola.h"
#include "drill/question.h"
#include "speech/desktopagent.h"

#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QuizzoloApplication app(argc, argv);
    setupApplication(app);

    QtDialogs dialogs;
    ClockRandomSource random;
    std::unique_ptr<Agent> agent = createDesktopAgent();
    Tavola tavola(*agent, dialogs, random);
    QObject::connect(&tavola, &Tavola::ended, &app, [](int status) { QCoreApplication::exit(status); });

    try {
        tavola.load();
    } catch (const RuntimeError &error) {
        std::fprintf(stderr, "quizzolo: %s\n", error.what());
        dialogs.message(error.message());
        return error.number();
    }

    // Centred on the screen.
    const QRect screen = tavola.screen()->availableGeometry();
    tavola.move(screen.center() - tavola.rect().center());
    tavola.show();
    tavola.activateWindow();
    return app.exec();
}
