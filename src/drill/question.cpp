#include "drill/question.h"

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

qint16 drawOneToTen(double r)
{
    // A draw outside [0, 1) from a faulty source still gives a valid factor.
    if (!(r >= 0.0))
        return 1;
    if (!(r < 1.0))
        return 10;
    return qint16(std::floor(10.0 * r)) + 1;
}

Question drawQuestion(RandomSource &random)
{
    random.reseed();
    Question q;
    q.fattore1 = 2;
    q.tinta = drawOneToTen(random.next());
    q.fattore2 = drawOneToTen(random.next());
    q.risultato = qint16(q.fattore1 * q.fattore2);
    return q;
}

Rgb bandColour(int i, const Question &q)
{
    return {20 * q.fattore1, 20 * q.tinta, i};
}
