#include "drill/numlett.h"

#include <QtTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestNumlett : public QObject
{
    Q_OBJECT

private slots:
    void wholeNumbers_data();
    void wholeNumbers();
    void fractionsAndNegatives_data();
    void fractionsAndNegatives();
    void everyValueGivesBoundedWords_data();
    void everyValueGivesBoundedWords();
    void everyNumberUpToTwoThousandIsFormedByTheRules();
};

void TestNumlett::wholeNumbers_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero is silent") << 0LL << QString();
    QTest::newRow("one") << 1LL << u"uno"_s;
    QTest::newRow("two") << 2LL << u"due"_s;
    QTest::newRow("ten, the largest factor") << 10LL << u"dieci"_s;
    QTest::newRow("seventeen is spelt with two t") << 17LL << u"diciassette"_s;
    QTest::newRow("twenty comes whole from the table") << 20LL << u"venti"_s;
    QTest::newRow("tens word drops its vowel before uno") << 21LL << u"ventuno"_s;
    QTest::newRow("tre takes no accent") << 23LL << u"ventitre"_s;
    QTest::newRow("tens word drops its vowel before otto") << 28LL << u"ventotto"_s;
    QTest::newRow("thirty") << 30LL << u"trenta"_s;
    QTest::newRow("thirty-one elides") << 31LL << u"trentuno"_s;
    QTest::newRow("thirty-eight elides") << 38LL << u"trentotto"_s;
    QTest::newRow("seventy-one elides") << 71LL << u"settantuno"_s;
    QTest::newRow("eighty-eight elides") << 88LL << u"ottantotto"_s;
    QTest::newRow("ninety-nine, the last tens") << 99LL << u"novantanove"_s;
    QTest::newRow("cento alone") << 100LL << u"cento"_s;
    QTest::newRow("cento keeps its vowel before uno") << 101LL << u"centouno"_s;
    QTest::newRow("cento keeps its vowel before otto") << 108LL << u"centootto"_s;
    QTest::newRow("hundreds then a teen") << 111LL << u"centoundici"_s;
    QTest::newRow("seventeen after the hundreds") << 117LL << u"centodiciassette"_s;
    QTest::newRow("hundred and twenty-one") << 121LL << u"centoventuno"_s;
    QTest::newRow("hundred and twenty-eight") << 128LL << u"centoventotto"_s;
    QTest::newRow("cento keeps its vowel before ottanta") << 180LL << u"centoottanta"_s;
    QTest::newRow("hundreds above one take their count") << 200LL << u"duecento"_s;
    QTest::newRow("largest group") << 999LL << u"novecentonovantanove"_s;
    QTest::newRow("mille replaces uno") << 1000LL << u"mille"_s;
    QTest::newRow("mille then units") << 1001LL << u"milleuno"_s;
    QTest::newRow("mille then a seventeen") << 1017LL << u"millediciassette"_s;
    QTest::newRow("mille then an elided tens") << 1021LL << u"milleventuno"_s;
    QTest::newRow("mille then hundreds") << 1100LL << u"millecento"_s;
    QTest::newRow("mila after two") << 2000LL << u"duemila"_s;
    QTest::newRow("elided tens before mila") << 21000LL << u"ventunomila"_s;
    QTest::newRow("uno before mila stays when the group is above one") << 101000LL << u"centounomila"_s;
    QTest::newRow("largest thousands") << 999999LL << u"novecentonovantanovemilanovecentonovantanove"_s;
    QTest::newRow("unmilione replaces uno") << 1000000LL << u"unmilione"_s;
    QTest::newRow("unmilione then mille") << 1001000LL << u"unmilionemille"_s;
    QTest::newRow("milioni after two") << 2000000LL << u"duemilioni"_s;
    QTest::newRow("seventeen millions") << 17000000LL << u"diciassettemilioni"_s;
    QTest::newRow("unmiliardo at ten to the ninth") << 1000000000LL << u"unmiliardo"_s;
    QTest::newRow("unmiliardo then units") << 1000000001LL << u"unmiliardouno"_s;
    QTest::newRow("unmiliardo then unmilione then mille then uno")
        << 1001001001LL << u"unmiliardounmilionemilleuno"_s;
    QTest::newRow("miliardi after two") << 2000000000LL << u"duemiliardi"_s;
    QTest::newRow("largest number of the domain") << 999999999999LL
        << u"novecentonovantanovemiliardinovecentonovantanovemilioni"
           u"novecentonovantanovemilanovecentonovantanove"_s;
    // Beyond the domain the billions group is spelt like any number below a million.
    QTest::newRow("a thousand billions") << 1000000000000LL << u"millemiliardi"_s;
    QTest::newRow("two thousand billions and one") << 2000000000001LL << u"duemilamiliardiuno"_s;
    QTest::newRow("past where the table would run out")
        << 2900000000000LL << u"duemilanovecentomiliardi"_s;
    QTest::newRow("largest whole currency value") << 922337203685477LL
        << u"novecentoventiduemilatrecentotrentasettemiliardi"
           u"duecentotremilioniseicentoottantacinquemilaquattrocentosettantasette"_s;
}

void TestNumlett::wholeNumbers()
{
    QFETCH(qint64, number);
    QFETCH(QString, expected);
    QCOMPARE(numlett(Currency::fromWhole(number)), expected);
}

void TestNumlett::fractionsAndNegatives_data()
{
    QTest::addColumn<qint64>("tenThousandths");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a half is silent") << 5000LL << QString();
    QTest::newRow("smallest positive amount is silent") << 1LL << QString();
    QTest::newRow("fraction of two and three quarters is dropped") << 27500LL << u"due"_s;
    QTest::newRow("fraction just below two is dropped") << 19999LL << u"uno"_s;
    QTest::newRow("fraction above a thousand is dropped") << 10009999LL << u"mille"_s;
    QTest::newRow("fraction at the top of the domain is dropped") << 9999999999999999LL
        << u"novecentonovantanovemiliardinovecentonovantanovemilioni"
           u"novecentonovantanovemilanovecentonovantanove"_s;
    QTest::newRow("minus five is silent") << -50000LL << QString();
    QTest::newRow("minus a half is silent") << -5000LL << QString();
    QTest::newRow("minus a thousand billions is silent") << -10000000000000000LL << QString();
}

void TestNumlett::fractionsAndNegatives()
{
    QFETCH(qint64, tenThousandths);
    QFETCH(QString, expected);
    QCOMPARE(numlett(Currency::fromTenThousandths(tenThousandths)), expected);
}

void TestNumlett::everyValueGivesBoundedWords_data()
{
    QTest::addColumn<qint64>("tenThousandths");

    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    QTest::newRow("INT64_MAX") << max;
    QTest::newRow("INT64_MAX less one") << max - 1;
    QTest::newRow("INT64_MAX less a whole unit") << max - 10000;
    QTest::newRow("INT64_MIN") << min;
    QTest::newRow("INT64_MIN plus one") << min + 1;
    QTest::newRow("a thousand billions less a ten-thousandth") << 10000000000000000LL - 1;
    QTest::newRow("ten thousand billions") << 100000000000000000LL;
    QTest::newRow("a million billions less one, as tenths") << 9999999999999999LL * 100;
    QTest::newRow("largest power of two") << (1LL << 62);
    for (int k = 12; k <= 14; ++k) {
        qint64 p = 1;
        for (int j = 0; j < k; ++j)
            p *= 10;
        QTest::addRow("ten to the %d minus one", k) << (p - 1) * 10000;
        QTest::addRow("nine hundred ninety-nine and nines to ten to the %d", k)
            << (p - 1) * 10000 + 9999;
    }
}

// Values far beyond the drill's range still give words of the number's own
// letters, never a crash or a read past the word table.
void TestNumlett::everyValueGivesBoundedWords()
{
    QFETCH(qint64, tenThousandths);
    const QString words = numlett(Currency::fromTenThousandths(tenThousandths));
    if (tenThousandths < 10000)
        QVERIFY(words.isEmpty());
    else
        QVERIFY(!words.isEmpty());
    QVERIFY(words.size() < 200);
    for (QChar c : words)
        QVERIFY2(c >= u'a' && c <= u'z', qPrintable(words));
}

// Composes every number below 2000 from the words of its parts, independently
// of the group loop, so a slip in any one elision or table entry shows up.
void TestNumlett::everyNumberUpToTwoThousandIsFormedByTheRules()
{
    const QStringList small = {
        u""_s, u"uno"_s, u"due"_s, u"tre"_s, u"quattro"_s, u"cinque"_s, u"sei"_s,
        u"sette"_s, u"otto"_s, u"nove"_s, u"dieci"_s, u"undici"_s, u"dodici"_s,
        u"tredici"_s, u"quattordici"_s, u"quindici"_s, u"sedici"_s, u"diciassette"_s,
        u"diciotto"_s, u"diciannove"_s,
    };
    const QStringList tens = {
        {}, {}, u"venti"_s, u"trenta"_s, u"quaranta"_s, u"cinquanta"_s, u"sessanta"_s,
        u"settanta"_s, u"ottanta"_s, u"novanta"_s,
    };
    auto below100 = [&](int n) {
        if (n < 20)
            return small[n];
        QString t = tens[n / 10];
        if (n % 10 == 1 || n % 10 == 8)
            t.chop(1);
        return t + small[n % 10];
    };
    auto below1000 = [&](int n) {
        const int h = n / 100;
        const QString hundreds = h == 0 ? QString() : (h == 1 ? u"cento"_s : small[h] + u"cento"_s);
        return hundreds + below100(n % 100);
    };
    for (int n = 1; n < 2000; ++n) {
        const QString expected = n < 1000 ? below1000(n) : u"mille"_s + below1000(n - 1000);
        QCOMPARE(numlett(Currency::fromWhole(n)), expected);
    }
}

QTEST_GUILESS_MAIN(TestNumlett)
#include "tst_numlett.moc"
