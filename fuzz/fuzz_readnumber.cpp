// Reading the record and the score from captions. The input is taken twice: as
// UTF-8 text and as raw UTF-16 code units (lone surrogates included). readNumber
// never fails and never gives NaN; toNumber gives a number or raises error 13,
// and a caption it accepts is read the same by readNumber and by the C library
// once the surrounding white space is gone.
#include "core/runtimeerror.h"
#include "records/records.h"

#include <QString>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char *what, const QString &caption, double a, double b)
{
    std::fprintf(stderr, "caption \"%s\" (%s): %.17g / %.17g: %s\n",
                 qPrintable(caption), caption.toUtf8().toHex(' ').constData(), a, b, what);
    std::abort();
}

bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

// The caption as the C library reads a number written in full: "d" and "D" are the
// exponent letter, as in the captions, and every character must be used.
bool readWhole(const QString &caption, double &value)
{
    QByteArray text = caption.trimmed().toLatin1();
    text.replace('d', 'e').replace('D', 'E');
    if (text.isEmpty())
        return false;
    char *end = nullptr;
    value = std::strtod(text.constData(), &end);
    return end == text.constData() + text.size();
}

void check(const QString &caption)
{
    const double read = readNumber(caption);
    if (std::isnan(read))
        fail("readNumber gave NaN", caption, read, read);

    double converted = 0;
    try {
        converted = toNumber(caption);
    } catch (const RuntimeError &e) {
        if (e.number() != RuntimeError::TypeMismatch)
            fail("toNumber raised an error other than 13", caption, e.number(), 0);
        return;
    }
    if (std::isnan(converted))
        fail("toNumber gave NaN", caption, converted, converted);
    if (!same(converted, read))
        fail("toNumber and readNumber disagree", caption, converted, read);
    double expected = 0;
    if (!readWhole(caption, expected) || !same(converted, expected))
        fail("toNumber accepted a caption that is not that number", caption, converted, expected);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::setlocale(LC_ALL, "C"); // strtod in readWhole reads a decimal point
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));

    QString units(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size / 2 * 2);
    check(units);
    return 0;
}
