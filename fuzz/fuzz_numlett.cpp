// numlett over the whole currency range: the first 8 bytes of an input are a raw
// qint64 count of ten-thousandths (missing bytes are zero). Every value must give
// lowercase letters only, of bounded length, and nothing below one; from one up,
// the words must be those composed here group by group in integers, independently
// of numlett's own arithmetic in doubles.
#include "drill/numlett.h"

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The longest name of any currency value has 163 letters: 454454454454454 (with
// any fraction), five groups of the longest group name, "quattrocentocinquantaquattro",
// and their group words.
constexpr qsizetype maxLetters = 163;

constexpr std::array<std::string_view, 20> small = {
    "", "uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove", "dieci",
    "undici", "dodici", "tredici", "quattordici", "quindici", "sedici", "diciassette",
    "diciotto", "diciannove",
};
constexpr std::array<std::string_view, 10> tens = {
    "", "", "venti", "trenta", "quaranta", "cinquanta", "sessanta", "settanta", "ottanta",
    "novanta",
};

void appendBelowThousand(std::string &s, qint64 n)
{
    const qint64 h = n / 100;
    const qint64 r = n % 100;
    if (h > 1)
        s += small[std::size_t(h)];
    if (h > 0)
        s += "cento";
    if (r < 20) {
        s += small[std::size_t(r)];
        return;
    }
    std::string_view t = tens[std::size_t(r / 10)];
    if (r % 10 == 1 || r % 10 == 8)
        t.remove_suffix(1);
    s += t;
    s += small[std::size_t(r % 10)];
}

void appendBelowBillion(std::string &s, qint64 n)
{
    const qint64 millions = n / 1000000;
    const qint64 thousands = n / 1000 % 1000;
    if (millions == 1) {
        s += "unmilione";
    } else if (millions > 1) {
        appendBelowThousand(s, millions);
        s += "milioni";
    }
    if (thousands == 1) {
        s += "mille";
    } else if (thousands > 1) {
        appendBelowThousand(s, thousands);
        s += "mila";
    }
    appendBelowThousand(s, n % 1000);
}

// Above 999 billions the whole count of billions is named before "miliardi".
std::string italianName(qint64 n)
{
    std::string s;
    const qint64 billions = n / 1000000000;
    if (billions == 1) {
        s += "unmiliardo";
    } else if (billions > 1) {
        appendBelowBillion(s, billions);
        s += "miliardi";
    }
    appendBelowBillion(s, n % 1000000000);
    return s;
}

[[noreturn]] void fail(const char *what, qint64 value, const QString &words)
{
    std::fprintf(stderr, "numlett(%lld ten-thousandths) = \"%s\": %s\n",
                 static_cast<long long>(value), qPrintable(words), what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    qint64 value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);

    const QString words = numlett(Currency::fromTenThousandths(value));
    if (words.size() > maxLetters)
        fail("too long", value, words);
    for (QChar c : words) {
        if (c < u'a' || c > u'z')
            fail("not a lowercase letter", value, words);
    }

    qint64 whole = value / 10000;
    if (value % 10000 < 0)
        --whole;
    if (whole < 1) {
        if (!words.isEmpty())
            fail("words for a value below one", value, words);
        return 0;
    }
    if (words.isEmpty())
        fail("no words for a whole number", value, words);
    const std::string expected = italianName(whole);
    if (words != QLatin1StringView(expected.data(), qsizetype(expected.size())))
        fail(("not the name of the whole part, " + expected).c_str(), value, words);
    return 0;
}
