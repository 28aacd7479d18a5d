// Times numlett over every whole number from 1 to 10^6 and prints the best of
// a few runs, in nanoseconds per call.
#include "drill/numlett.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>

int main()
{
    constexpr qint64 last = 1000000;
    constexpr int runs = 5;
    qint64 best = std::numeric_limits<qint64>::max();
    qsizetype letters = 0; // keeps the calls from being optimised away
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (qint64 n = 1; n <= last; ++n)
            letters += numlett(Currency::fromWhole(n)).size();
        best = std::min(best, timer.nsecsElapsed());
    }
    std::printf("numlett 1..%lld: best of %d runs %.1f ms, %.1f ns per call (%lld letters)\n",
                static_cast<long long>(last), runs, best / 1e6, double(best) / last,
                static_cast<long long>(letters / runs));
    return 0;
}
