#pragma once

#include <QtGlobal>

#include <array>
#include <random>

// Where the new question draws its numbers from: uniform draws in [0, 1),
// re-seeded from the clock before each question. Tests inject their own source.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual void reseed() = 0;
    virtual double next() = 0;
};

// A Mersenne Twister re-seeded from the high-resolution clock on every reseed().
class ClockRandomSource final : public RandomSource
{
public:
    void reseed() override;
    double next() override;

private:
    std::mt19937_64 m_engine;
};

// One problem and the tint of its background.
struct Question
{
    qint16 fattore1 = 2;  // the table: 2 to 10
    qint16 fattore2 = 1;  // 1 to 10
    qint16 risultato = 2; // fattore1 x fattore2
    qint16 tinta = 1;     // 1 to 10: green of every band is 20 x tinta
};

// 1 to 10 from a draw r in [0, 1): the whole part of 10 r, plus 1.
qint16 drawOneToTen(double r);
// 2 to 10 from a draw r in [0, 1): the whole part of 9 r, plus 2.
qint16 drawTwoToTen(double r);

// How often each fact comes in the targeted practice: weights[N - 2][f - 1] for N x f,
// relative to the other facts drawn from.
using FactWeights = std::array<std::array<int, 10>, 9>;

// Re-seeds the source, then draws the tint and the second factor, in that order, and for
// every table mixed (tabellina 0) the first factor after them; a single table is the first
// factor. With weights, one draw after the tint picks the whole fact among those of the
// table (of every table when mixed), each as often as its weight says.
Question drawQuestion(RandomSource &random, int tabellina = 2, const FactWeights *weights = nullptr);

struct Rgb
{
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

// The background is 256 horizontal bands, top (i = 0) to bottom (i = 255).
inline constexpr int gradientBands = 256;
// Band i: red 20 x fattore1, green 20 x tinta, blue i.
Rgb bandColour(int i, const Question &q);
