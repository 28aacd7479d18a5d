// Measures the agent character: from a Speak request reaching the head of the queue to
// its first audio handed to the sink (a word, the introduction; prepared as the program
// does, and cold), the character window's repaint, CPU while the character rests, and
// the resident memory once it has been loaded and has spoken. Run it with
// tests/with-pulseaudio.sh for a real sink; without one the voice is silent and the
// latency is to the start of the silent clock. Prints the median and the 95th percentile.

#include "speech/desktop/characterwindow.h"
#include "speech/desktop/desktopagent.h"
#include "speech/desktop/desktopcharacter.h"
#include "speech/desktop/espeakvoice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString Introduction = QStringLiteral(
    "Allora attenzione, iniziamo la nostra avventura con la tabellina del 2. Io detto e tu scrivi il risultato "
    "nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta che io finisca di "
    "parlare e premi ancora invio per avere la domanda successiva");

struct Figures
{
    double median;
    double p95;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Head of the queue to audio handed over, for `text` said `runs` times; when cold, the
// text is said straight to the voice with no early synthesis.
std::vector<double> latency(DesktopCharacter &merlin, const QString &text, int runs, bool cold)
{
    std::vector<double> ms;
    QElapsedTimer clock;
    bool waiting = false;
    QObject context;
    QObject::connect(&merlin.queue(), &RequestQueue::started, &context, [&](const AgentRequest &r) {
        if (r.kind == AgentRequest::Kind::Speak) {
            clock.start();
            waiting = true;
        }
    });
    QObject::connect(&merlin.voice(), &VoiceEngine::audioStarted, &context, [&] {
        if (waiting)
            ms.push_back(clock.nsecsElapsed() / 1e6);
        waiting = false;
        merlin.voice().stop();   // no need to hear it all
        QTimer::singleShot(0, &merlin.queue(), &RequestQueue::finishCurrent);
    });
    for (int i = 0; i < runs; ++i) {
        if (cold) {
            clock.start();
            waiting = true;
            merlin.voice().say(text);
        } else {
            merlin.Show();
            merlin.MoveTo(250, 175);
            merlin.setHeight(205);
            merlin.Speak(text);
        }
        const qsizetype before = ms.size();
        for (int wait = 0; wait < 500 && qsizetype(ms.size()) == before; ++wait)
            spin(2);
        spin(20);
    }
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long baseKb = statusKb("VmRSS:");
    DesktopAgent agent;
    agent.load(QStringLiteral("Merlin"), QStringLiteral("C:\\WINDOWS\\msagent\\chars\\Merlin.acs"));
    DesktopCharacter &merlin = agent.desktopCharacter(QStringLiteral("Merlin"));
    std::printf("audio: %s\n", merlin.voice().isSilent() ? "none (silent clock)" : "sound server");
    spin(2500);   // let the first stream of the process get going, as start-up does

    const int runs = 30;
    const Figures word = figures(latency(merlin, QStringLiteral("sette"), runs, false));
    const Figures intro = figures(latency(merlin, Introduction, runs, false));
    const Figures wordCold = figures(latency(merlin, QStringLiteral("sette"), runs, true));
    const Figures introCold = figures(latency(merlin, Introduction, runs, true));
    std::printf("speak: head of queue to audio handed to the sink, one word:      median %.2f ms, p95 %.2f ms (target < 20 ms)\n",
                word.median, word.p95);
    std::printf("speak: head of queue to audio handed to the sink, introduction:  median %.2f ms, p95 %.2f ms (target < 40 ms)\n",
                intro.median, intro.p95);
    std::printf("speak, cold (no early synthesis), one word:      median %.2f ms, p95 %.2f ms\n", wordCold.median, wordCold.p95);
    std::printf("speak, cold (no early synthesis), introduction:  median %.2f ms, p95 %.2f ms\n", introCold.median, introCold.p95);

    CharacterWindow &window = merlin.window();
    std::vector<double> render;
    std::vector<double> paint;
    QElapsedTimer clock;
    for (int i = 0; i < 300; ++i) {
        clock.start();
        window.renderFrame();
        window.repaint();
        render.push_back(clock.nsecsElapsed() / 1e6);
        clock.start();
        window.repaint();
        paint.push_back(clock.nsecsElapsed() / 1e6);
    }
    const Figures newPose = figures(render);
    const Figures samePose = figures(paint);
    std::printf("repaint at height 205, new pose (SVG drawn, shape set): median %.2f ms, p95 %.2f ms (target < 4 ms)\n",
                newPose.median, newPose.p95);
    std::printf("repaint at height 205, same pose:                       median %.2f ms, p95 %.2f ms\n", samePose.median,
                samePose.p95);

    // Speak a whole problem for real, then rest.
    merlin.voice().stop();
    bool done = false;
    QObject::connect(&merlin.queue(), &RequestQueue::idle, &app, [&] { done = true; });
    merlin.Play(QStringLiteral("Greet"));
    for (const char *text : {"2", "per", "sette"})
        merlin.Speak(QString::fromLatin1(text));
    while (!done)
        spin(50);
    spin(2000);   // the balloon goes away
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(10000);
    const double cpu = (cpuSeconds() - before) / (wall.nsecsElapsed() / 1e9) * 100;
    std::printf("cpu while resting (10 s): %.2f %% of one core (target < 1 %%)\n", cpu);
    std::printf("resident memory, loaded and having spoken: %.1f MB (process start %.1f MB, peak %.1f MB; target < 80 MB)\n",
                statusKb("VmRSS:") / 1024.0, baseKb / 1024.0, statusKb("VmHWM:") / 1024.0);
    return 0;
}
