// Times the window's drill paths on the offscreen platform: a key typed in the answer
// box until the window has repainted, the check (Enter) with its history append until the
// window has repainted, and a new question with its gradient painted.
// Prints the median and the 95th percentile of many runs.

#include "support/tavolafixture.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures
{
    double median;
    double p95;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 95 / 100]};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TavolaFixture f;
    if (!f.start()) {
        std::fprintf(stderr, "the window did not start\n");
        return 1;
    }
    QWidget *box = f.get("Text3");
    QWidget *window = f.window.get();
    const int runs = 400;

    std::vector<double> question;
    std::vector<double> key;
    std::vector<double> check;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        f.window->drill().nuovaDomanda();
        window->repaint();
        question.push_back(clock.nsecsElapsed() / 1e6);

        clock.start();
        QTest::keyClick(box, Qt::Key_1);
        window->repaint();
        key.push_back(clock.nsecsElapsed() / 1e6);

        clock.start();
        QTest::keyClick(box, Qt::Key_Return);
        window->repaint();
        check.push_back(clock.nsecsElapsed() / 1e6);
        f.agent.log.clear();
    }
    std::vector<double> bare;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        window->grab();
        bare.push_back(clock.nsecsElapsed() / 1e6);
    }
    const Figures b = figures(bare);
    std::printf("whole window rendered off screen (grab): median %.3f ms, p95 %.3f ms\n", b.median, b.p95);
    const Figures q = figures(question);
    const Figures k = figures(key);
    std::printf("new question with gradient, repainted: median %.3f ms, p95 %.3f ms (target < 5 ms)\n", q.median, q.p95);
    std::printf("key press in the answer box, repainted: median %.3f ms, p95 %.3f ms (target < 4 ms)\n", k.median, k.p95);
    const Figures c = figures(check);
    std::printf("Enter: answer checked and appended to the history, repainted: median %.3f ms, p95 %.3f ms "
                "(target < 4 ms)\n", c.median, c.p95);
    return 0;
}
