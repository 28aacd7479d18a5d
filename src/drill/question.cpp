#include "drill/question.h"

#include "core/tabellina.h"

#include <algorithm>
#include <chrono>
#include <cmath>

void ClockRandomSource::reseed()
{
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    m_engine.seed(static_cast<std::mt19937_64::result_type>(now));
}

double ClockRandomSource::next()
{
    const double r = std::generate_canonical<double, 53>(m_engine);
    // Some standard libraries round the largest draws up to exactly 1.
    return r < 1.0 ? r : std::nextafter(1.0, 0.0);
}

namespace {

// first to first + count - 1 from a draw r in [0, 1): the whole part of count r, plus first.
// A draw outside [0, 1) from a faulty source still gives a valid number.
qint16 drawWhole(double r, int first, int count)
{
    if (!(r >= 0.0))
        return qint16(first);
    if (!(r < 1.0))
        return qint16(first + count - 1);
    return qint16(std::floor(count * r)) + qint16(first);
}

} // namespace

qint16 drawOneToTen(double r)
{
    return drawWhole(r, 1, 10);
}

qint16 drawTwoToTen(double r)
{
    return drawWhole(r, 2, 9);
}

namespace {

// One fact, N x f, among those of the table (every table when mixed), each as often as
// its weight. False when there is nothing to weigh.
bool drawWeighted(double r, int tabellina, const FactWeights &weights, Question &q)
{
    const int first = tabellina == tutteLeTabelline ? 2 : tabellina;
    const int last = tabellina == tutteLeTabelline ? 10 : tabellina;
    long total = 0;
    for (int n = first; n <= last; ++n)
        for (int w : weights[n - 2])
            total += std::max(w, 0);
    if (total <= 0)
        return false;
    // A draw outside [0, 1) from a faulty source still lands on a fact.
    const double at = std::clamp(r, 0.0, 1.0) * double(total);
    long below = 0;
    for (int n = first; n <= last; ++n) {
        for (int f = 1; f <= 10; ++f) {
            const int w = std::max(weights[n - 2][f - 1], 0);
            below += w;
            if (w > 0 && (at < double(below) || below == total)) {
                q.fattore1 = qint16(n);
                q.fattore2 = qint16(f);
                return true;
            }
        }
    }
    return false;
}

} // namespace

Question drawQuestion(RandomSource &random, int tabellina, const FactWeights *weights)
{
    random.reseed();
    Question q;
    q.fattore1 = qint16(tabellina == tutteLeTabelline ? 2 : tabellina);
    q.tinta = drawOneToTen(random.next());
    if (!weights || !drawWeighted(random.next(), tabellina, *weights, q)) {
        q.fattore2 = drawOneToTen(random.next());
        if (tabellina == tutteLeTabelline)
            q.fattore1 = drawTwoToTen(random.next());
    }
    q.risultato = qint16(q.fattore1 * q.fattore2);
    return q;
}

Rgb bandColour(int i, const Question &q)
{
    return {20 * q.fattore1, 20 * q.tinta, i};
}
