#pragma once

#include <QString>

// A currency value: a signed 64-bit count of ten-thousandths (four decimal places).
struct Currency
{
    qint64 tenThousandths = 0;
    static constexpr Currency fromWhole(qint64 n) { return {n * 10000}; }
    static constexpr Currency fromTenThousandths(qint64 t) { return {t}; }
};

// The Italian name of a whole number written as one word: 21 "ventuno", 1000 "mille",
// 2000000 "duemilioni". Zero, negatives and fractions below one give the empty string;
// the fraction of a larger value is dropped.
QString numlett(Currency numer);
