#include "drill/drill.h"
#include "drill/praise.h"
#include "drill/question.h"
#include "support/recordingagent.h"

#include <QtTest>

#include <array>
#include <cmath>
#include <limits>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

// A replayable source: seeded once, and reseed() leaves the sequence alone.
class SeededSource final : public RandomSource
{
public:
    explicit SeededSource(std::uint32_t seed) : m_engine(seed) {}
    void reseed() override {}
    double next() override { return std::generate_canonical<double, 53>(m_engine); }

private:
    std::mt19937 m_engine;
};

// Hands out fixed draws and records when it is re-seeded.
class ScriptedSource final : public RandomSource
{
public:
    explicit ScriptedSource(QList<double> draws) : m_draws(std::move(draws)) {}
    void reseed() override { log << u"reseed"_s; }
    double next() override
    {
        log << u"next"_s;
        return m_draws.takeFirst();
    }
    QStringList log;

private:
    QList<double> m_draws;
};

QStringList render(const QList<AgentLine> &lines)
{
    QStringList out;
    for (const AgentLine &line : lines)
        out << (line.kind == AgentLine::Kind::Play ? u"Play "_s : u"Speak "_s) + line.text;
    return out;
}

// The window as the drill sees it: captions and boxes by name, and what else it was told.
class CaptionView final : public DrillView
{
public:
    QString text(const char *name) const override { return captions.value(QLatin1String(name)); }
    void setText(const char *name, const QString &text) override { captions.insert(QLatin1String(name), text); }
    void hideProblem() override { problemShown = false; }
    void showProblem() override { problemShown = true; }
    void showVerdict(Rgb colour, const QString &text) override
    {
        verdictColour = colour;
        setText("lblMessage", text);
    }
    void enableNext() override { ++nextEnabled; }
    void focusAnswer() override {}
    void paintGradient(const Question &question) override { painted = question.tinta; }
    void clearDrawing() override { painted = 0; }
    AgentCharacter &character() override { return merlin; }

    QHash<QString, QString> captions{{u"lblScore"_s, u"0"_s}, {u"Txtnome1"_s, u"Mario"_s}};
    bool problemShown = false;
    Rgb verdictColour;
    int nextEnabled = 0;
    int painted = 0;
    QStringList requests;
    RecordingAgent::Character merlin{requests};
};

template<std::size_t N>
double chiSquare(const std::array<int, N> &counts, double expected)
{
    double sum = 0;
    for (int c : counts)
        sum += (c - expected) * (c - expected) / expected;
    return sum;
}

} // namespace

class TestDrillRules : public QObject
{
    Q_OBJECT

private slots:
    void rightAnswerSpeech_data();
    void rightAnswerSpeech();
    void drawOneToTenEdges_data();
    void drawOneToTenEdges();
    void questionDrawsInOrder();
    void drawsAreUniformAndIndependent_data();
    void drawsAreUniformAndIndependent();
    void weightedDrawFollowsTheWeights_data();
    void weightedDrawFollowsTheWeights();
    void clockSourceGivesValidQuestions();
    void bandColours_data();
    void bandColours();
    void drillWithoutWidgets();
};

// What the character does on a right answer, for every S of a game up to 30,
// written from the table of what is said rather than from the rules.
void TestDrillRules::rightAnswerSpeech_data()
{
    QTest::addColumn<double>("s");
    QTest::addColumn<QStringList>("expected");

    const QString nome = u"Giulia"_s;
    const QString result = u"14"_s;
    auto praise = [](const QString &animation, const QString &sentence) {
        return QStringList{u"Play "_s + animation, u"Speak "_s + sentence};
    };
    const QStringList esatto = {u"Speak Esatto"_s};
    const QStringList giusto = {u"Speak Giusto"_s};
    const QStringList name = {u"Speak "_s + nome};
    const QStringList res = {u"Speak "_s + result};

    QMap<int, QStringList> said;
    for (int s : {0, 1, 4, 6, 8, 9})
        said[s] = esatto + res;
    said[2] = esatto + res + praise(u"congratulate"_s, u"Sei grande"_s);
    said[5] = esatto + res + praise(u"domagic1"_s, u"Sei forte"_s);
    for (int s : {3, 7})
        said[s] = esatto + name + res;
    said[10] = res + praise(u"congratulate"_s, u"Sei sulla buona strada per diventare cavaliere"_s);
    for (int s : {12, 21, 26})
        said[s] = giusto + name + res;
    said[13] = giusto + res + praise(u"domagic2"_s, u"Sei in gamba"_s);
    said[14] = giusto + res + praise(u"congratulate"_s, u"Sei eccezionale"_s);
    said[18] = giusto + res + praise(u"congratulate"_s, u"Sei insuperabile"_s);
    said[23] = giusto + res + praise(u"congratulate"_s,
        u"Ti nomino cavaliere della tabellina, il massimo ordine per un eroe"_s);
    said[27] = giusto + res + praise(u"congratulate"_s,
        u"Hai lavorato bene mio leale campione: sei invincibile"_s);
    for (int s : {11, 15, 16, 17, 19, 20, 22, 24, 25, 28, 29, 30})
        said[s] = giusto + res;

    QCOMPARE(said.size(), 31);
    for (auto it = said.cbegin(); it != said.cend(); ++it)
        QTest::addRow("S=%d: %s", it.key(), qPrintable(it.value().join(u" / "))) << double(it.key()) << it.value();
    QTest::newRow("S=32767: the largest count is plain Giusto") << 32767.0 << giusto + res;
}

void TestDrillRules::rightAnswerSpeech()
{
    QFETCH(double, s);
    QFETCH(QStringList, expected);
    QCOMPARE(render(rightAnswerLines(s, u"Giulia"_s, u"14"_s)), expected);
}

void TestDrillRules::drawOneToTenEdges_data()
{
    QTest::addColumn<double>("r");
    QTest::addColumn<int>("expected");

    QTest::newRow("zero gives one") << 0.0 << 1;
    QTest::newRow("just below a tenth gives one") << 0.0999999 << 1;
    QTest::newRow("a tenth gives two") << 0.1 << 2;
    QTest::newRow("a half gives six") << 0.5 << 6;
    QTest::newRow("seven tenths gives eight") << 0.7 << 8;
    QTest::newRow("0.9999999 gives ten") << 0.9999999 << 10;
    QTest::newRow("largest draw below one gives ten") << std::nextafter(1.0, 0.0) << 10;
    QTest::newRow("a faulty one still gives ten") << 1.0 << 10;
    QTest::newRow("a faulty negative still gives one") << -0.25 << 1;
    QTest::newRow("a faulty NaN still gives one") << std::numeric_limits<double>::quiet_NaN() << 1;
}

void TestDrillRules::drawOneToTenEdges()
{
    QFETCH(double, r);
    QFETCH(int, expected);
    QCOMPARE(int(drawOneToTen(r)), expected);
}

// The source is re-seeded before any draw; the tint is drawn first, the factor second.
void TestDrillRules::questionDrawsInOrder()
{
    ScriptedSource source({0.05, 0.95});
    const Question q = drawQuestion(source);
    QCOMPARE(source.log, (QStringList{u"reseed"_s, u"next"_s, u"next"_s}));
    QCOMPARE(q.tinta, qint16(1));
    QCOMPARE(q.fattore1, qint16(2));
    QCOMPARE(q.fattore2, qint16(10));
    QCOMPARE(q.risultato, qint16(20));
}

void TestDrillRules::drawsAreUniformAndIndependent_data()
{
    QTest::addColumn<int>("tabellina");
    QTest::newRow("table of 2") << 2;
    QTest::newRow("mixed: the table drawn too") << 0;
}

// Over many questions from a fixed seed, each of 1..10 comes about one time in ten
// for the factor and for the tint, the pair is independent, and about one question
// in ten repeats the factor of the one before. Critical values are at p = 0.001,
// and the seed makes the outcome the same on every run.
void TestDrillRules::drawsAreUniformAndIndependent()
{
    QFETCH(int, tabellina);
    constexpr int runs = 100000;
    SeededSource source(20240607);
    std::array<int, 9> tables{};
    std::array<int, 10> factors{};
    std::array<int, 10> tints{};
    std::array<int, 100> pairs{};
    int repeats = 0;
    int previous = 0;
    for (int n = 0; n < runs; ++n) {
        const Question q = drawQuestion(source, tabellina);
        QVERIFY(q.fattore2 >= 1 && q.fattore2 <= 10);
        QVERIFY(q.tinta >= 1 && q.tinta <= 10);
        QVERIFY(tabellina == 0 ? q.fattore1 >= 2 && q.fattore1 <= 10 : q.fattore1 == tabellina);
        QCOMPARE(q.risultato, qint16(q.fattore1 * q.fattore2));
        ++tables[q.fattore1 - 2];
        ++factors[q.fattore2 - 1];
        ++tints[q.tinta - 1];
        ++pairs[(q.tinta - 1) * 10 + q.fattore2 - 1];
        repeats += q.fattore2 == previous;
        previous = q.fattore2;
    }
    if (tabellina == 0)
        QVERIFY2(chiSquare(tables, runs / 9.0) < 26.12, "table not uniform");
    QVERIFY2(chiSquare(factors, runs / 10.0) < 27.88, "factor not uniform");
    QVERIFY2(chiSquare(tints, runs / 10.0) < 27.88, "tint not uniform");
    QVERIFY2(chiSquare(pairs, runs / 100.0) < 148.23, "tint and factor not independent");
    const double repeatRate = double(repeats) / (runs - 1);
    QVERIFY2(repeatRate > 0.09 && repeatRate < 0.11, qPrintable(QString::number(repeatRate)));
}

void TestDrillRules::weightedDrawFollowsTheWeights_data()
{
    QTest::addColumn<int>("tabellina");
    QTest::addColumn<QList<int>>("set");  // N, f, weight of the facts not weighing 2
    QTest::newRow("table of 2, all new: uniform") << 2 << QList<int>();
    QTest::newRow("table of 7: 7 x 3 to practise, 7 x 5 sure") << 7 << QList<int>{7, 3, 4, 7, 5, 1};
    QTest::newRow("table of 7: the other tables do not count") << 7 << QList<int>{6, 3, 4, 8, 5, 4, 7, 10, 1};
    QList<int> nines;
    for (int f = 1; f <= 10; ++f)
        nines << 9 << f << 4 << 2 << f << 1;
    QTest::newRow("mixed: the 9s to practise, the 2s sure") << 0 << nines;
}

// Each fact comes as often as its share of the weights of the facts drawn from: within
// 0.01 of it over 100,000 problems from a fixed seed (a standard error is at most 0.0016).
void TestDrillRules::weightedDrawFollowsTheWeights()
{
    QFETCH(int, tabellina);
    QFETCH(QList<int>, set);
    FactWeights weights;
    for (auto &table : weights)
        table.fill(2);
    for (qsizetype i = 0; i < set.size(); i += 3)
        weights[set[i] - 2][set[i + 1] - 1] = set[i + 2];
    const int first = tabellina ? tabellina : 2, last = tabellina ? tabellina : 10;
    double total = 0;
    for (int n = first; n <= last; ++n)
        total += std::accumulate(weights[n - 2].begin(), weights[n - 2].end(), 0);

    constexpr int runs = 100000;
    SeededSource source(20261207);
    std::array<std::array<int, 10>, 9> counts{};
    for (int r = 0; r < runs; ++r) {
        const Question q = drawQuestion(source, tabellina, &weights);
        QCOMPARE(q.risultato, qint16(q.fattore1 * q.fattore2));
        ++counts.at(q.fattore1 - 2).at(q.fattore2 - 1);
    }
    for (int n = 2; n <= 10; ++n)
        for (int f = 1; f <= 10; ++f) {
            const double expected = n >= first && n <= last ? weights[n - 2][f - 1] / total : 0.0;
            QVERIFY2(std::abs(double(counts[n - 2][f - 1]) / runs - expected) < 0.01, qPrintable(u"%1 x %2"_s.arg(n).arg(f)));
        }
}

void TestDrillRules::clockSourceGivesValidQuestions()
{
    ClockRandomSource source;
    for (int n = 0; n < 1000; ++n) {
        const Question q = drawQuestion(source);
        QVERIFY(q.fattore2 >= 1 && q.fattore2 <= 10);
        QVERIFY(q.tinta >= 1 && q.tinta <= 10);
        QCOMPARE(q.risultato, qint16(2 * q.fattore2));
    }
}

void TestDrillRules::bandColours_data()
{
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("tinta");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");

    QTest::newRow("top band of the palest tint has no blue") << 0 << 1 << 20 << 0;
    QTest::newRow("bottom band of the palest tint is full blue") << gradientBands - 1 << 1 << 20 << 255;
    QTest::newRow("top band of the greenest tint") << 0 << 10 << 200 << 0;
    QTest::newRow("bottom band of the greenest tint") << gradientBands - 1 << 10 << 200 << 255;
    QTest::newRow("middle band: blue is the band number") << 128 << 5 << 100 << 128;
}

void TestDrillRules::bandColours()
{
    QFETCH(int, band);
    QFETCH(int, tinta);
    QFETCH(int, green);
    QFETCH(int, blue);
    Question q;
    q.tinta = qint16(tinta);
    QCOMPARE(bandColour(band, q), (Rgb{40, green, blue}));
}

// A problem, a right answer and a wrong one, played on captions alone.
void TestDrillRules::drillWithoutWidgets()
{
    CaptionView view;
    ScriptedSource source({0.25, 0.65, 0.05, 0.25});
    Drill drill(view, source);

    drill.nuovaDomanda();
    QCOMPARE(view.text("lblNum1"), u"2"_s);
    QCOMPARE(view.text("lblNum2"), u"7"_s);
    QCOMPARE(view.text("Text7"), u"14"_s);
    QCOMPARE(view.text("Text6"), u"sette"_s);
    QCOMPARE(view.painted, 3);
    QVERIFY(!view.problemShown);
    QCOMPARE(view.requests, (QStringList{u"Show"_s, u"MoveTo 250 175"_s, u"Play Greet"_s, u"Height 205"_s,
                                         u"Speak 2"_s, u"Speak per"_s, u"Speak sette"_s}));

    view.setText("Text3", u"14"_s);
    drill.tastoPremuto('4');
    QVERIFY(view.problemShown);
    QCOMPARE(view.painted, 0);
    drill.tastoPremuto(13);
    QCOMPARE(view.text("lblMessage"), u"Esatto. Sei forte!!!"_s);
    QCOMPARE(view.verdictColour, (Rgb{0, 0, 255}));
    QCOMPARE(drill.esatte(), qint16(1));
    QCOMPARE(view.text("lblScore"), u"1"_s);
    QCOMPARE(view.text("lblScore2"), u"1"_s);

    drill.nuovaDomanda();
    QCOMPARE(view.text("Text7"), u"6"_s);
    view.setText("Text3", u"5"_s);
    view.requests.clear();
    drill.verifica();
    QCOMPARE(view.text("lblMessage"), u"Sbagliato!! 6"_s);
    QCOMPARE(view.verdictColour, (Rgb{255, 0, 0}));
    QCOMPARE(view.requests, (QStringList{u"Show"_s, u"MoveTo 250 175"_s, u"Play Greet"_s, u"Height 205"_s,
                                         u"Speak Sbagliato"_s, u"Speak 6"_s}));
    QCOMPARE(view.text("lblScore1"), u"1"_s);
    QCOMPARE(view.text("lblScore"), u"1"_s);
    QCOMPARE(view.text("lblScore2"), u"2"_s);
    QCOMPARE(view.nextEnabled, 5);
}

QTEST_GUILESS_MAIN(TestDrillRules)
#include "tst_drillrules.moc"
