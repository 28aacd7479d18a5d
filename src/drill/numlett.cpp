#include "drill/numlett.h"

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Index n + 1 holds the word for n (0 to 20); index t + 19 the tens t x 10 (2 to 9).
// "venti" at 21 serves both. Index 0 stays empty.
using WordTable = std::array<QString, 29>;

void fillTable(WordTable &parole)
{
    parole = {
        QString(), u""_s, u"uno"_s, u"due"_s, u"tre"_s, u"quattro"_s, u"cinque"_s,
        u"sei"_s, u"sette"_s, u"otto"_s, u"nove"_s, u"dieci"_s, u"undici"_s,
        u"dodici"_s, u"tredici"_s, u"quattordici"_s, u"quindici"_s, u"sedici"_s,
        u"diciassette"_s, u"diciotto"_s, u"diciannove"_s, u"venti"_s,
        u"trenta"_s, u"quaranta"_s, u"cinquanta"_s, u"sessanta"_s, u"settanta"_s,
        u"ottanta"_s, u"novanta"_s,
    };
}

// Every index the spelling computes lies in 0..28 once a group is at most 999;
// the guard keeps a future slip from reading past the table.
const QString &word(const WordTable &parole, double index)
{
    static const QString none;
    if (!(index >= 0 && index < double(parole.size())))
        return none;
    return parole[std::size_t(index)];
}

// One group of at most three digits: hundreds, then tens and units. A tens word
// drops its final vowel before "uno" and "otto"; "cento" never does.
void appendGroup(QString &s, double r, const WordTable &parole)
{
    if (r > 99) {
        const double h = std::floor(r / 100);
        r -= 100 * h;
        if (h != 1)
            s += word(parole, h + 1);
        s += u"cento"_s;
    }
    if (r <= 20) {
        s += word(parole, r + 1);
        return;
    }
    const double t = std::floor(r / 10);
    s += word(parole, t + 19);
    r -= 10 * t;
    if (r == 1 || r == 8)
        s.chop(1);
    s += word(parole, r + 1);
}

// The words for a whole number, billions group first. A billions group above 999
// (a thousand billions and more) is spelt by the same rules and followed by
// "miliardi": 10^12 gives "millemiliardi". Such a group is below 10^6, so the
// recursion is one level deep and never reaches the billions again.
QString spell(double numer, const WordTable &parole)
{
    static constexpr std::array<double, 4> scale = {1.0, 1e3, 1e6, 1e9};
    QString s;
    s.reserve(128); // the longest words fit: one allocation per call
    for (int i = 3; i >= 0; --i) {
        const double g = std::floor(numer / scale[std::size_t(i)]);
        if (!(g > 0))
            continue;
        if (i == 3 && g > 999) {
            s += spell(g, parole);
            s += u"miliardi"_s;
        } else {
            appendGroup(s, g, parole);
            switch (i) {
            case 1:
                if (g == 1) {
                    s.chop(3);
                    s += u"mille"_s;
                } else {
                    s += u"mila"_s;
                }
                break;
            case 2:
                if (g == 1) {
                    s.chop(3);
                    s += u"unmilione"_s;
                } else {
                    s += u"milioni"_s;
                }
                break;
            case 3:
                if (g == 1)
                    s = u"unmiliardo"_s;
                else
                    s += u"miliardi"_s;
                break;
            default:
                break;
            }
        }
        numer -= g * scale[std::size_t(i)];
    }
    return s;
}

} // namespace

QString numlett(Currency numer)
{
    WordTable parole;
    fillTable(parole);

    // The fraction never reaches a word, so it is dropped first, exactly, in
    // integers (floor: -0.5 gives -1). The whole part of any currency value is
    // below 2^53, so every double computed from it afterwards is exact; taking
    // the whole value through a double instead would round its last decimals
    // above 9 x 10^11 and could turn 999999999999.9999 into a thousand billions.
    qint64 whole = numer.tenThousandths / 10000;
    if (numer.tenThousandths % 10000 < 0)
        --whole;
    return spell(double(whole), parole);
}
