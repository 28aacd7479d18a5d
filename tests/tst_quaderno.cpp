#include "quaderno/notebookdata.h"
#include "quaderno/quaderno.h"
#include "quaderno/report.h"
#include "records/records.h"

#include <QBarCategoryAxis>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The notebook window on a history written here: what it lists, shows and prints.
class TestQuaderno : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void childrenAndTheirFacts();
    void unreadableLinesAreCountedAndTheRestShown();
    void emptyHistoryIsSaidInASentence_data();
    void emptyHistoryIsSaidInASentence();
    void reportFitsOnePage_data();
    void reportFitsOnePage();

private:
    void writeHistory(const QByteArray &content);
    std::unique_ptr<Quaderno> open();
    template<typename T> T *child(Quaderno &window, const char *name);
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_folder;
};

namespace {

const QByteArray header = "partita;ora;nome;fattore;risposta;esatta;millisecondi\r\n";

// Marco played first; Lucia later, twice in the same minute.
const QByteArray twoChildren = header
    + "2026-12-06T17:00:00+01:00;2026-12-06T17:00:04+01:00;Marco;5;10;1;1500\r\n"
      "2026-12-07T10:15:03+01:00;2026-12-07T10:15:09+01:00;Lucia;3;6;1;1000\r\n"
      "2026-12-07T10:15:03+01:00;2026-12-07T10:15:19+01:00;Lucia;3;7;0;3000\r\n"
      "2026-12-07T10:15:41+01:00;2026-12-07T10:15:50+01:00;Lucia;3;6;1;2000\r\n"
      "2026-12-07T10:15:41+01:00;2026-12-07T10:15:58+01:00;Lucia;10;20;1;1200\r\n";

QStringList row(QTableWidget *table, int r)
{
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells.append(table->item(r, c) ? table->item(r, c)->text() : u"<none>"_s);
    return cells;
}

ChildReport sampleChild(const QString &name, int games)
{
    ChildReport child;
    child.name = name;
    for (int g = 0; g < games; ++g)
        child.games.append({QDateTime(QDate(2026, 11, 1).addDays(g), QTime(16, 0)), 20 + g % 7, g % 4});
    for (int f = 0; f < 10; ++f)
        child.facts[size_t(f)] = {12, 12 - f % 4, 1800 + 100 * f, f == 6 || f == 7};
    return child;
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return u"<%1 failed: %2>"_s.arg(program, process.errorString());
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

void TestQuaderno::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    qputenv("XDG_DATA_HOME", m_tmp->path().toLocal8Bit());
    m_folder = m_tmp->path() + u"/quizzolo/"_s;
    QCOMPARE(dataFolderPath(), m_folder);
}

void TestQuaderno::writeHistory(const QByteArray &content)
{
    QDir().mkpath(m_folder);
    QFile file(m_folder + u"storico.csv"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write the history");
}

std::unique_ptr<Quaderno> TestQuaderno::open()
{
    auto window = std::make_unique<Quaderno>(dataFolderPath());
    QSignalSpy loaded(window.get(), &Quaderno::loaded);
    window->show();
    if (!loaded.wait(10000))
        qFatal("the notebook never finished reading");
    return window;
}

template<typename T> T *TestQuaderno::child(Quaderno &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void TestQuaderno::childrenAndTheirFacts()
{
    writeHistory(twoChildren);
    QDir().mkpath(m_folder);
    QFile punti(m_folder + u"azorpeli.txt"_s), nome(m_folder + u"nzorpeli.txt"_s);
    QVERIFY(punti.open(QIODevice::WriteOnly) && punti.write("3\r\n") == 3);
    QVERIFY(nome.open(QIODevice::WriteOnly) && nome.write("Lucia\r\n") == 7);
    punti.close();
    nome.close();

    auto window = open();
    QVERIFY(window->windowTitle().contains(u"Quaderno"_s));
    auto *names = child<QListWidget>(*window, "listaBambini");
    QCOMPARE(names->count(), 2);
    QCOMPARE(names->item(0)->text(), u"Lucia"_s);
    QCOMPARE(names->item(1)->text(), u"Marco"_s);
    QCOMPARE(names->currentRow(), 0);

    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Lucia: 2 partite, 4 risposte, 3 esatte (75%)"_s);
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(), u"Record: 3 punti, di Lucia."_s);
    QCOMPARE(child<QLabel>(*window, "lblDaRipassare")->text(), u"Da ripassare: 2 x 3."_s);
    auto *table = child<QTableWidget>(*window, "tabellaFatti");
    QCOMPARE(table->rowCount(), 10);
    QCOMPARE(row(table, 2), QStringList({u"2 x 3"_s, u"3"_s, u"67%"_s, u"2,0 s"_s, u"da ripassare"_s}));
    QVERIFY(table->item(2, 0)->font().bold());
    QCOMPARE(row(table, 9), QStringList({u"2 x 10"_s, u"1"_s, u"100%"_s, u"1,2 s"_s, u""_s}));
    QCOMPARE(row(table, 0), QStringList({u"2 x 1"_s, u"0"_s, u"-"_s, u"-"_s, u""_s}));
    QVERIFY(!table->item(9, 0)->font().bold());

    // Two games begun in the same minute still get a bar and a label each.
    auto *chart = child<QChartView>(*window, "graficoPartite")->chart();
    const auto axes = chart->axes(Qt::Horizontal);
    QCOMPARE(axes.size(), 1);
    QCOMPARE(static_cast<QBarCategoryAxis *>(axes[0])->count(), 2);

    names->setCurrentRow(1);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Marco: 1 partita, 1 risposta, 1 esatta (100%)"_s);
    QCOMPARE(child<QLabel>(*window, "lblDaRipassare")->text(), u"Nessun fatto da ripassare per ora."_s);
    QCOMPARE(row(table, 2)[1], u"0"_s);
    QVERIFY(child<QPushButton>(*window, "cmdStampa")->isEnabled());
    QVERIFY(child<QPushButton>(*window, "cmdApriFile")->isEnabled());
    QVERIFY(child<QLabel>(*window, "lblFile")->text().endsWith(m_folder + u"storico.csv"_s));
    QVERIFY(child<QLabel>(*window, "lblRigheSaltate")->isHidden());
}

void TestQuaderno::unreadableLinesAreCountedAndTheRestShown()
{
    writeHistory(twoChildren + "questa non e' una riga dello storico\r\n"
                 + QByteArray("\x00\x01\xff\xfe;;;;;;\r\n", 12)
                 + "2026-12-07T10:16:00+01:00;2026-12-07T10:16:09+01:00;Lucia;11;22;1;900\r\n");
    auto window = open();
    QCOMPARE(window->summary().skipped, 3);
    auto *skipped = child<QLabel>(*window, "lblRigheSaltate");
    QVERIFY(skipped->isVisible());
    QCOMPARE(skipped->text(), u"3 righe del file non sono state lette perché illeggibili."_s);
    QCOMPARE(child<QListWidget>(*window, "listaBambini")->count(), 2);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Lucia: 2 partite, 4 risposte, 3 esatte (75%)"_s);
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(), u"Record: nessuno ancora."_s);
}

void TestQuaderno::emptyHistoryIsSaidInASentence_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("skipped");
    QTest::addColumn<QString>("message");
    QTest::newRow("no data folder at all, and none is made") << false << QByteArray() << QString() << emptyHistoryText;
    QTest::newRow("no history file") << true << QByteArray() << QString() << emptyHistoryText;
    QTest::newRow("the header alone") << true << header << QString() << emptyHistoryText;
    QTest::newRow("nothing readable") << true << QByteArray("\xff\xfe\x00garbage\n1;2;3\r\n", 18)
                                      << u"2 righe del file non sono state lette perché illeggibili."_s
                                      << emptyHistoryText;
    QTest::newRow("storico.csv is a folder") << true << QByteArray() << QString()
                                             << u"Non riesco a leggere lo storico: %1 non è un file."_s;
}

void TestQuaderno::emptyHistoryIsSaidInASentence()
{
    QFETCH(bool, folder);
    QFETCH(QByteArray, content);
    QFETCH(QString, skipped);
    QFETCH(QString, message);
    if (folder)
        QDir().mkpath(m_folder);
    if (!content.isEmpty())
        writeHistory(content);
    if (message.contains(u"%1"_s)) {
        QVERIFY(QDir().mkpath(m_folder + u"storico.csv"_s));
        message = message.arg(m_folder + u"storico.csv"_s);
    }

    auto window = open();
    auto *label = child<QLabel>(*window, "lblMessaggio");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), message);
    QVERIFY(!child<QListWidget>(*window, "listaBambini")->isVisible());
    QVERIFY(!child<QPushButton>(*window, "cmdStampa")->isEnabled());
    // The file itself can be opened whenever there is one.
    QCOMPARE(child<QPushButton>(*window, "cmdApriFile")->isEnabled(), QFileInfo(m_folder + u"storico.csv"_s).isFile());
    QCOMPARE(child<QLabel>(*window, "lblRigheSaltate")->text(), skipped);
    // Only reading: nothing is created, neither the folder nor the record files.
    QCOMPARE(QFileInfo::exists(m_folder), folder);
    QVERIFY(!QFileInfo::exists(m_folder + u"azorpeli.txt"_s));
    QVERIFY(!QFileInfo::exists(m_folder + u"nzorpeli.txt"_s));
}

void TestQuaderno::reportFitsOnePage_data()
{
    QTest::addColumn<QPageSize::PageSizeId>("size");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    QTest::addColumn<int>("games");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("heading");
    const QString maria = u"Maria Addolorata Benedetta"_s;
    const QString heading = u"Quaderno dei progressi di "_s;
    QTest::newRow("A4, more games than the page shows") << QPageSize::A4 << QPageLayout::Portrait << 45 << maria
                                                        << heading + maria;
    QTest::newRow("Letter, one game") << QPageSize::Letter << QPageLayout::Portrait << 1 << maria << heading + maria;
    QTest::newRow("A4 landscape") << QPageSize::A4 << QPageLayout::Landscape << 12 << maria << heading + maria;
    QTest::newRow("a name of 500 letters is cut") << QPageSize::A4 << QPageLayout::Portrait << 3
                                                  << QString(500, u'W') << heading + QString(39, u'W') + u"\u2026"_s;
}

void TestQuaderno::reportFitsOnePage()
{
    QFETCH(QPageSize::PageSizeId, size);
    QFETCH(QPageLayout::Orientation, orientation);
    QFETCH(int, games);
    QFETCH(QString, name);
    QFETCH(QString, heading);
    const QString pdf = m_tmp->filePath(u"report.pdf"_s);
    const ChildReport child = sampleChild(name, games);
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(size));
        writer.setPageOrientation(orientation);
        writer.setResolution(300);
        QPainter painter(&writer);
        const QRect page = painter.viewport();
        const QRect used = paintReport(painter, page, {child, u"Record: 31 punti, di Maria."_s,
                                                       QDateTime(QDate(2026, 12, 7), QTime(11, 0))});
        QVERIFY2(page.contains(used), qPrintable(u"painted %1,%2 %3x%4 on a page of %5x%6"_s.arg(used.x())
                                                     .arg(used.y()).arg(used.width()).arg(used.height())
                                                     .arg(page.width()).arg(page.height())));
        QVERIFY(used.height() > page.height() / 2);
    }
    QVERIFY(run(u"pdfinfo"_s, {pdf}).contains(QRegularExpression(u"Pages:\\s+1\\n"_s)));
    // Every line whole, wherever it wrapped: compared without white space.
    const auto bare = [](QString text) { return text.remove(QRegularExpression(u"\\s"_s)); };
    const QString text = bare(run(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}));
    for (const QString &expected : {heading,
                                    u"Record: 31 punti, di Maria."_s, u"2 x 10 12 92% 2,7 s"_s,
                                    u"Da ripassare: 2 x 7, 2 x 8."_s})
        QVERIFY2(text.contains(bare(expected)), qPrintable(expected + u" not in: "_s + text));
}

QTEST_MAIN(TestQuaderno)
#include "tst_quaderno.moc"
