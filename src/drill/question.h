#pragma once

#include <QtGlobal>

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

// One problem of the table of 2 and the tint of its background.
struct Question
{
    qint16 fattore1 = 2;
    qint16 fattore2 = 1;  // 1 to 10
    qint16 risultato = 2; // fattore1 x fattore2
    qint16 tinta = 1;     // 1 to 10: green of every band is 20 x tinta
};

// 1 to 10 from a draw r in [0, 1): the whole part of 10 r, plus 1.
qint16 drawOneToTen(double r);
// Re-seeds the source, then draws the tint and the second factor, in that order.
Question drawQuestion(RandomSource &random);

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
