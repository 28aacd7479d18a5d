#include "core/italian.h"
#include "core/tabellina.h"
#include "quaderno/classgridmodel.h"
#include "quaderno/notebookdata.h"
#include "quaderno/quaderno.h"
#include "quaderno/report.h"
#include "records/records.h"
#include "scelte/scelte.h"

#include <QBarCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QGroupBox>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The notebook window on a history written here: what it lists, shows and prints.
class TestQuaderno : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void childrenAndTheirFacts();
    void unreadableLinesAreCountedAndTheRestShown();
    void emptyHistoryIsSaidInASentence_data();
    void emptyHistoryIsSaidInASentence();
    void reportFitsOnePage_data();
    void reportFitsOnePage();
    void classPageFitsOnePage();
    void classGrid_data();
    void classGrid();
    void classFolderOfManyFiles();
    void newAnswersAppearWhileOpen();
    void tablesAssignedFromTheClassPage();
    void classFolderOutOfReach();
    void joinedNamesFromTheNotebook();
    void longNameKeepsThePageInTheScreen();
    void printDialogSpeaksItalian();
    void gamesGroupedToFit_data();
    void gamesGroupedToFit();

private:
    void writeHistory(const QByteArray &content);
    std::unique_ptr<Quaderno> open(const QString &path = QString());
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
        child.games.append({QDateTime(QDate(2026, 11, 1).addDays(g), QTime(16, 0)), 7, 20 + g % 7, g % 4});
    for (int f = 0; f < 10; ++f)
        child.tables[5][size_t(f)] = {12, 12 - f % 4, {10, 10 - f % 4, 1800.0 + 100 * f},
                                      f == 6 || f == 7 ? FactState::DaRipassare : FactState::Sicuro, {}};
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

// An answer in a line of the history: answer a of the day's game, of the table of 2 unless
// another is given.
QByteArray answer(const QString &name, int day, int fattore, bool esatta, int a = 0, int tabellina = 2)
{
    const QDateTime game(QDate(2026, 11, day), QTime(16, 0), Qt::OffsetFromUTC, 3600);
    HistoryEntry e;
    e.partita = game;
    e.ora = game.addSecs(5 + 5 * a);
    e.nome = name;
    e.fattore = fattore;
    e.esatta = esatta;
    e.risposta = QString::number(tabellina * fattore + (esatta ? 0 : 1));
    e.millisecondi = 2000;
    e.tabellina = tabellina;
    return encodeHistoryLine(e);
}

// answers(name, day, {{fattore, right}, ...}): one game's lines.
QByteArray game(const QString &name, int day, const QList<std::pair<int, bool>> &answers, int tabellina = 2)
{
    QByteArray out;
    for (int a = 0; a < answers.size(); ++a)
        out += answer(name, day, answers[a].first, answers[a].second, a, tabellina);
    return out;
}

// A row of the class grid as text: the name, then the mark of each fact.
QString gridRow(const QAbstractItemModel *grid, int r)
{
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells.append(grid->index(r, c).data().toString());
    return cells.join(u'|');
}

} // namespace

void TestQuaderno::initTestCase()
{
    installQtItalian(*qApp);
}

void TestQuaderno::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    qputenv("XDG_DATA_HOME", m_tmp->path().toLocal8Bit());
    m_folder = m_tmp->path() + u"/quizzolo/"_s;
    QCOMPARE(dataFolderPath(), m_folder);
    // The choices and the class folder of this test's own account.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tmp->filePath(u"config"_s));
}

void TestQuaderno::writeHistory(const QByteArray &content)
{
    QDir().mkpath(m_folder);
    QFile file(m_folder + u"storico.csv"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write the history");
}

std::unique_ptr<Quaderno> TestQuaderno::open(const QString &path)
{
    auto window = std::make_unique<Quaderno>(dataFolderPath(), path);
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
    QCOMPARE(names->item(0)->text(), u"Lucia - ultima partita 07/12/2026"_s);
    QCOMPARE(names->item(1)->text(), u"Marco - ultima partita 06/12/2026"_s);
    QCOMPARE(names->currentRow(), 0);

    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Lucia: 2 partite, 4 risposte, 3 esatte (75%)"_s);
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(),
             u"Record di questo computer nella tabellina del 2: 3 punti, di Lucia."_s);
    QCOMPARE(child<QLabel>(*window, "lblDaRipassare")->text(), u"Da ripassare: 2 x 3."_s);
    auto *table = child<QTableWidget>(*window, "tabellaFatti");
    QCOMPARE(table->rowCount(), 10);
    // Old lines have no time after the dictation: the median is unknown.
    QCOMPARE(row(table, 2), QStringList({u"2 x 3"_s, u"2 su 3"_s, u"-"_s, u"da ripassare"_s, u"3"_s}));
    QVERIFY(table->item(2, 0)->font().bold());
    QCOMPARE(row(table, 9), QStringList({u"2 x 10"_s, u"1 su 1"_s, u"-"_s, u"nuovo"_s, u"1"_s}));
    QCOMPARE(row(table, 0), QStringList({u"2 x 1"_s, u"-"_s, u"-"_s, u"nuovo"_s, u"0"_s}));
    QVERIFY(!table->item(9, 0)->font().bold());
    QCOMPARE(table->item(2, 3)->background().color(), stateColour(FactState::DaRipassare));
    QCOMPARE(table->item(2, 1)->data(Qt::AccessibleDescriptionRole).toString(),
             u"2 x 3: 2 esatte delle ultime 3 risposte, da ripassare; 3 risposte in tutto"_s);
    // The table is one stop of the Tab key: Tab leaves it for the next control.
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"cmdApriFile"_s);

    // Another table: its facts, and its own record (none here).
    auto *tabellina = child<QComboBox>(*window, "sceltaTabellina");
    tabellina->setCurrentIndex(5);
    QCOMPARE(row(table, 7), QStringList({u"7 x 8"_s, u"-"_s, u"-"_s, u"nuovo"_s, u"0"_s}));
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(),
             u"Record di questo computer nella tabellina del 7: nessuno ancora."_s);
    QCOMPARE(child<QLabel>(*window, "lblDaRipassare")->text(), u"Nessun fatto da ripassare"_s);
    tabellina->setCurrentIndex(0);

    // Two games begun in the same minute still get a bar and a label each.
    auto *chart = child<QChartView>(*window, "graficoPartite")->chart();
    const auto axes = chart->axes(Qt::Horizontal);
    QCOMPARE(axes.size(), 1);
    QCOMPARE(static_cast<QBarCategoryAxis *>(axes[0])->count(), 2);

    names->setCurrentRow(1);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Marco: 1 partita, 1 risposta, 1 esatta (100%)"_s);
    QCOMPARE(child<QLabel>(*window, "lblDaRipassare")->text(), u"Nessun fatto da ripassare"_s);
    QCOMPARE(row(table, 2)[4], u"0"_s);
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
    QCOMPARE(skipped->text(), u"3 righe di storico.csv non sono state lette perché illeggibili."_s);
    QCOMPARE(child<QListWidget>(*window, "listaBambini")->count(), 2);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Lucia: 2 partite, 4 risposte, 3 esatte (75%)"_s);
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(),
             u"Record di questo computer nella tabellina del 2: nessuno ancora."_s);
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
    QTest::newRow("nothing readable: not a history") << true << QByteArray("\xff\xfe\x00garbage\n1;2;3\r\n", 18)
                                                     << QString() << notHistoryText;
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
    QTest::newRow("A4, 2,000 games grouped by months") << QPageSize::A4 << QPageLayout::Portrait << 2000 << maria
                                                       << heading + maria;
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
        const QRect used = paintReport(painter, page, {child, 7, u"Record: 31 punti, di Maria."_s,
                                                       QDateTime(QDate(2026, 12, 7), QTime(11, 0)), {}});
        QVERIFY2(page.contains(used), qPrintable(u"painted %1,%2 %3x%4 on a page of %5x%6"_s.arg(used.x())
                                                     .arg(used.y()).arg(used.width()).arg(used.height())
                                                     .arg(page.width()).arg(page.height())));
        QVERIFY(used.height() > page.height() / 2);
    }
    QVERIFY(run(u"pdfinfo"_s, {pdf}).contains(QRegularExpression(u"Pages:\\s+1\\n"_s)));
    // Every line whole, wherever it wrapped: compared without white space.
    const auto bare = [](QString text) { return text.remove(QRegularExpression(u"\\s"_s)); };
    const QString layout = run(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
    const QString text = bare(layout);
    // The heads of the facts' columns apart, as their cells are.
    QVERIFY2(layout.contains(QRegularExpression(u"Fatto +Esatte \\(ultime 10\\) +Tempo mediano +Stato +Risposte in tutto"_s)),
             qPrintable(layout));
    const QString period = games == 1 ? u"il 01/11/2026"_s : u"dal 01/11/2026 al %1"_s.arg(
                                                                 QDate(2026, 11, 1).addDays(games - 1).toString(u"dd/MM/yyyy"_s));
    for (const QString &expected : {heading, u"tabellina del 7 - partite "_s + period,
                                    u"Record: 31 punti, di Maria."_s, u"7 x 10 9 su 10 2,7 s sicuro 12"_s,
                                    u"Da ripassare: 7 x 7, 7 x 8."_s})
        QVERIFY2(text.contains(bare(expected)), qPrintable(expected + u" not in: "_s + text));
}

void TestQuaderno::classPageFitsOnePage()
{
    // Forty children, every state: one landscape page, the facts named above the grid.
    HistorySummary summary;
    for (int c = 0; c < 40; ++c) {
        const QString name = u"Bambino con un nome lungo %1"_s.arg(c, 2, 10, QLatin1Char('0'));
        ChildReport child;
        child.name = name;
        for (int f = 0; f < 10; ++f)
            child.tables[5][size_t(f)] = {3, 0, {}, FactState((c + f) % 4), {}};
        summary.names.append(childKey(name));
        summary.children.insert(childKey(name), child);
    }
    const QString pdf = m_tmp->filePath(u"classe.pdf"_s);
    const QString away = outOfReachText(QDateTime(QDate(2026, 12, 13), QTime(8, 5)), true,
                                        QDateTime(QDate(2026, 12, 13), QTime(9, 0)));
    QCOMPARE(away, u"La cartella della classe non si raggiunge (dalle 08:05): i dati sono quelli letti allora."_s);
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setResolution(300);
        QPainter painter(&writer);
        const QRect page = painter.viewport();
        const QRect used = paintClass(painter, page, {::classGrid(summary, 7), u"dal 14/09/2026 al 12/12/2026"_s,
                                                      QDateTime(QDate(2026, 12, 13), QTime(9, 0)), away});
        QVERIFY(page.contains(used));
    }
    QVERIFY(run(u"pdfinfo"_s, {pdf}).contains(QRegularExpression(u"Pages:\\s+1\\n"_s)));
    const QString text = run(u"pdftotext"_s, {pdf, u"-"_s}).simplified();
    for (const QString &expected : {u"La classe nella tabellina del 7"_s, u"partite dal 14/09/2026 al 12/12/2026"_s, away,
                                    u"Bambino con un nome lungo 39"_s, u"7 x 10"_s,
                                    u"Nessun fatto è da ripassare per la maggior parte della classe"_s})
        QVERIFY2(text.contains(expected), qPrintable(expected + u" not in: "_s + text));
}

void TestQuaderno::classGrid_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("tabellina");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("weak");
    const QList<std::pair<int, bool>> fiveRight = {{1, true}, {1, true}, {1, true}, {1, true}, {1, true}};
    QTest::newRow("one child per name whatever its case and spaces, in Italian order, latest spelling")
        << header + game(u"Nicolò"_s, 1, {{3, true}}) + game(u"Zeno"_s, 2, {{3, true}})
               + game(u" nicolò "_s, 3, {{3, true}}) + game(u"Élodie"_s, 4, {{3, true}})
               + game(u"andrea"_s, 5, {{3, true}}) + game(u"NICOLÒ"_s, 6, {{3, true}})
        << 2
        << QStringList{u"andrea|–|–|–|–|–|–|–|–|–|–|del 2"_s, u"Élodie|–|–|–|–|–|–|–|–|–|–|del 2"_s,
                       u"NICOLÒ|–|–|○|–|–|–|–|–|–|–|del 2"_s, u"Zeno|–|–|–|–|–|–|–|–|–|–|del 2"_s}
        << u"Nessun fatto da ripassare"_s;
    // Anna: 2 x 1 sure, 2 x 2 in practice (4 of 5), 2 x 7 to practise (1 of 3). Dario
    // never played the table of 2: the shares are of the three who did.
    QTest::newRow("each fact's state, and the facts most of those who played have to practise")
        << header + game(u"Anna"_s, 1, fiveRight) + game(u"Anna"_s, 2, {{2, true}, {2, true}, {2, false}, {2, true}, {2, true}})
               + game(u"Anna"_s, 3, {{7, false}, {7, true}, {7, false}})
               + game(u"Bruno"_s, 3, {{7, false}, {7, false}, {7, false}, {8, false}, {8, true}, {8, false}})
               + game(u"Carla"_s, 4, {{7, true}, {7, true}, {7, true}, {8, false}, {8, false}, {8, true}})
               + game(u"Dario"_s, 4, {{7, false}, {7, false}, {7, false}}, 3)
        << 2
        << QStringList{u"Anna|✓|○|–|–|–|–|!|–|–|–|del 2"_s, u"Bruno|–|–|–|–|–|–|!|!|–|–|del 2"_s,
                       u"Carla|–|–|–|–|–|–|○|!|–|–|del 2"_s, u"Dario|–|–|–|–|–|–|–|–|–|–|del 2"_s}
        << u"Da ripassare per la maggior parte della classe: 2 x 7 (2 su 3), 2 x 8 (2 su 3)."_s;
    QTest::newRow("no fact for most: the most common named")
        << header + game(u"Anna"_s, 1, fiveRight) + game(u"Bruno"_s, 1, {{9, false}, {9, false}, {9, false}})
               + game(u"Carla"_s, 1, fiveRight)
        << 2 << QStringList{u"Anna|✓|–|–|–|–|–|–|–|–|–|del 2"_s, u"Bruno|–|–|–|–|–|–|–|–|!|–|del 2"_s, u"Carla|✓|–|–|–|–|–|–|–|–|–|del 2"_s}
        << u"Nessun fatto è da ripassare per la maggior parte della classe; i più da ripassare: 2 x 9 (1 su 3)."_s;
    QTest::newRow("the table chosen, not the table of 2")
        << header + game(u"Anna"_s, 1, fiveRight) + game(u"Anna"_s, 2, {{4, false}, {4, false}, {4, false}}, 7)
        << 7 << QStringList{u"Anna|–|–|–|!|–|–|–|–|–|–|del 2"_s}
        << u"Da ripassare per la maggior parte della classe: 7 x 4 (1 su 1)."_s;
    QTest::newRow("a table no child played yet") << header + game(u"Anna"_s, 1, fiveRight) << 5
                                                 << QStringList{u"Anna|–|–|–|–|–|–|–|–|–|–|del 2"_s}
                                                 << u"Nessun bambino ha ancora giocato la tabellina del 5."_s;
}

void TestQuaderno::classGrid()
{
    QFETCH(QByteArray, content);
    QFETCH(int, tabellina);
    QFETCH(QStringList, rows);
    QFETCH(QString, weak);
    writeHistory(content);
    auto window = open();
    child<QComboBox>(*window, "sceltaTabellina")->setCurrentIndex(tabellina - 2);
    auto *grid = child<QTableView>(*window, "grigliaClasse");
    const QAbstractItemModel *model = grid->model();
    QStringList shown;
    for (int r = 0; r < model->rowCount(); ++r)
        shown.append(gridRow(model, r));
    QCOMPARE(shown, rows);
    QCOMPARE(model->headerData(10, Qt::Horizontal).toString(), u"%1 x 10"_s.arg(tabellina));
    QCOMPARE(child<QLabel>(*window, "lblClasseDaRipassare")->text(), weak);
    // Never colour alone: each mark says its state in words to a screen reader too.
    const QModelIndex first = model->index(0, 1);
    QCOMPARE(first.data(Qt::AccessibleTextRole).toString(), first.data().toString() == u"✓"_s ? u"sicuro"_s : u"nuovo"_s);
    QVERIFY(!grid->tabKeyNavigation());

    // Enter on a child's row opens that child's page.
    auto *tabs = child<QTabWidget>(*window, "schede");
    tabs->setCurrentIndex(1);
    grid->setCurrentIndex(model->index(int(rows.size()) - 1, 3));
    QTest::keyClick(grid, Qt::Key_Return);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(child<QLabel>(*window, "lblRiepilogo")->text().startsWith(rows.last().section(u'|', 0, 0) + u':'));
}

void TestQuaderno::classFolderOfManyFiles()
{
    const QString folder = m_tmp->filePath(u"classe"_s);
    QVERIFY(QDir().mkpath(folder));
    const auto put = [&](const QString &name, const QByteArray &content) {
        QFile file(folder + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    };
    // Anna played on two computers; files not named storico*.csv are not the class's.
    put(u"storico-pc1-aula.csv"_s, header + game(u"Anna"_s, 1, {{3, true}, {4, false}}));
    put(u"storico-pc2-aula.csv"_s, header + game(u"anna"_s, 2, {{3, true}}) + game(u"Bruno"_s, 2, {{5, true}}));
    put(u"storico.csv"_s, header + game(u"Carla"_s, 3, {{6, true}}));
    put(u"altro.csv"_s, header + game(u"Dario"_s, 3, {{6, true}}));
    put(u"storico-note.txt"_s, header + game(u"Ettore"_s, 3, {{6, true}}));

    auto window = open(folder);
    QCOMPARE(window->summary().entries, 5);
    QCOMPARE(window->summary().names.size(), 3);
    auto *names = child<QListWidget>(*window, "listaBambini");
    QCOMPARE(names->item(0)->text(), u"anna - ultima partita 02/11/2026"_s);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"anna: 2 partite, 3 risposte, 2 esatte (67%)"_s);
    QCOMPARE(names->item(2)->text(), u"Carla - ultima partita 03/11/2026"_s);
    QCOMPARE(child<QLabel>(*window, "lblFile")->text(), u"Cartella della classe: "_s + folder);
    // Not this computer's record, which means nothing for a class: the child's best game.
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(), u"Miglior partita nella tabellina del 2: 1 esatta, 01/11/2026."_s);
    child<QComboBox>(*window, "sceltaTabellina")->setCurrentIndex(1);
    QCOMPARE(child<QLabel>(*window, "lblRecord")->text(), u"Miglior partita nella tabellina del 3: nessuna ancora."_s);
}

void TestQuaderno::newAnswersAppearWhileOpen()
{
    const QString folder = m_tmp->filePath(u"classe"_s);
    QVERIFY(QDir().mkpath(folder));
    const auto append = [&](const QString &name, const QByteArray &content) {
        QFile file(folder + u'/' + name);
        QVERIFY(file.open(QIODevice::Append) && file.write(content) == content.size());
    };
    append(u"storico-pc1.csv"_s, header + game(u"Anna"_s, 1, {{3, true}}) + game(u"Bruno"_s, 1, {{3, true}}));
    auto window = open(folder);
    auto *names = child<QListWidget>(*window, "listaBambini");
    auto *tabellina = child<QComboBox>(*window, "sceltaTabellina");
    names->setCurrentRow(1);
    tabellina->setCurrentIndex(4);
    auto *grid = child<QTableView>(*window, "grigliaClasse");
    grid->setCurrentIndex(grid->model()->index(1, 4));
    QSignalSpy reset(grid->model(), &QAbstractItemModel::modelReset);

    // A line appended to a file, then a computer's new file: both appear unasked, and the
    // child and the table chosen stay chosen.
    append(u"storico-pc1.csv"_s, answer(u"Bruno"_s, 2, 4, false));
    QTRY_COMPARE(window->summary().entries, 3);
    QCOMPARE(names->currentItem()->text(), u"Bruno - ultima partita 02/11/2026"_s);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Bruno: 2 partite, 2 risposte, 1 esatta (50%)"_s);
    QCOMPARE(reset.count(), 0);  // the same children: the grid changed in place
    append(u"storico-pc2.csv"_s, header + game(u"Aldo"_s, 3, {{5, true}}));
    QTRY_COMPARE(window->summary().entries, 4);
    QCOMPARE(names->count(), 3);
    QCOMPARE(names->item(0)->text(), u"Aldo - ultima partita 03/11/2026"_s);
    QVERIFY(names->currentItem()->text().startsWith(u"Bruno"_s));
    QCOMPARE(tabellina->currentText(), u"Tabellina del 6"_s);
    // The grid's cursor stays on Bruno, a row further down, and Enter opens his page.
    QCOMPARE(grid->currentIndex().data(ClassGridModel::KeyRole).toString(), u"bruno"_s);
    QCOMPARE(grid->currentIndex().column(), 4);
    names->setCurrentRow(0);
    QTest::keyClick(grid, Qt::Key_Return);
    QVERIFY(names->currentItem()->text().startsWith(u"Bruno"_s));
}

// "Assegna tabellina..." for the whole class, then for one child: the grid shows the table
// each child starts on, and the game starts them on it.
void TestQuaderno::tablesAssignedFromTheClassPage()
{
    writeHistory(header + game(u"Anna"_s, 1, {{3, true}}) + game(u"Bruno"_s, 2, {{3, true}}));
    auto window = open();
    const QAbstractItemModel *model = child<QTableView>(*window, "grigliaClasse")->model();
    const auto tables = [&] {
        return QStringList{model->index(0, 11).data().toString(), model->index(1, 11).data().toString()};
    };
    QCOMPARE(tables(), (QStringList{u"del 2"_s, u"del 2"_s}));
    window->assignTable({}, {6, true});
    QTRY_COMPARE(tables(), (QStringList{u"del 6, ripasso mirato"_s, u"del 6, ripasso mirato"_s}));
    window->assignTable({u"bruno"_s}, {tutteLeTabelline, false});
    QTRY_COMPARE(tables(), (QStringList{u"del 6, ripasso mirato"_s, u"tutte"_s}));
    QCOMPARE(model->index(1, 11).data(Qt::ToolTipRole).toString(), u"scelta per il bambino"_s);
    QCOMPARE(Scelte({}).perLaPartita(u"Bruno"_s).tabellina, tutteLeTabelline);
    QCOMPARE(Scelte({}).perLaPartita(u"Carla"_s).tabellina, 6);  // not played yet
}

// The class folder this computer copies to goes out of reach: the notebook keeps what it
// read and says so, on screen and on paper, and follows the folder again once it is back.
// Started while the folder is away, it says so and offers this computer's own history.
void TestQuaderno::classFolderOutOfReach()
{
    const QString folder = m_tmp->filePath(u"classe"_s);
    QVERIFY(QDir().mkpath(folder));
    QSettings(u"quizzolo"_s, u"quizzolo"_s).setValue(u"storico/cartella"_s, folder);
    QFile file(folder + u"/storico-pc1.csv"_s);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(header + game(u"Anna"_s, 1, {{3, true}})) > 0);
    file.close();
    writeHistory(header + game(u"Lucia"_s, 2, {{4, true}}));
    auto window = open(folder);
    auto *away = child<QLabel>(*window, "lblCartellaLontana");
    QCOMPARE(window->summary().names, (QStringList{u"anna"_s, u"lucia"_s}));  // this computer's too
    QVERIFY(!away->isVisible());
    QVERIFY(QDir().rename(folder, folder + u".via"_s));
    QTRY_VERIFY_WITH_TIMEOUT(away->isVisible(), 10000);
    QVERIFY(away->text().startsWith(u"La cartella della classe non si raggiunge (dalle "_s));
    QVERIFY(away->text().endsWith(u"): i dati sono quelli letti allora."_s));
    QCOMPARE(window->summary().names.size(), 2);
    QVERIFY(child<QPushButton>(*window, "cmdStampa")->isEnabled());
    QVERIFY(!child<QPushButton>(*window, "cmdStoricoComputer")->isVisible());
    QVERIFY(QDir().rename(folder + u".via"_s, folder));
    QTRY_VERIFY_WITH_TIMEOUT(!away->isVisible(), 10000);

    QVERIFY(QDir().rename(folder, folder + u".via"_s));
    auto late = open(folder);  // as quizzolo-quaderno opens it with nothing named
    QVERIFY(child<QLabel>(*late, "lblCartellaLontana")->text().endsWith(u"non ne è stato letto ancora nulla."_s));
    QVERIFY(!child<QTabWidget>(*late, "schede")->isVisible());
    child<QPushButton>(*late, "cmdStoricoComputer")->click();
    QTRY_VERIFY(child<QTabWidget>(*late, "schede")->isVisible());
    QCOMPARE(late->summary().names, QStringList{u"lucia"_s});
    QVERIFY(child<QLabel>(*late, "lblFile")->text().startsWith(u"Storico di questo computer: "_s));
}

// "Unisci a..." and "Separa": the joins go to a file of the class folder, and the history
// files stay as they were.
void TestQuaderno::joinedNamesFromTheNotebook()
{
    const QString folder = m_tmp->filePath(u"classe"_s);
    QVERIFY(QDir().mkpath(folder));
    const QByteArray history = header + game(u"Marco"_s, 1, {{3, true}}) + game(u"Marcp"_s, 2, {{3, false}, {4, true}});
    QFile file(folder + u"/storico-pc1.csv"_s);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(history) == history.size());
    file.close();
    auto window = open(folder);
    auto *names = child<QListWidget>(*window, "listaBambini");
    auto *separate = child<QPushButton>(*window, "cmdSepara");
    QVERIFY(child<QPushButton>(*window, "cmdUnisci")->isEnabled() && !separate->isEnabled());

    window->joinChild(u"marcp"_s, u"marco"_s);
    QTRY_COMPARE(names->count(), 1);
    QCOMPARE(names->item(0)->text(), u"Marco (con Marcp) - ultima partita 02/11/2026"_s);
    QCOMPARE(child<QLabel>(*window, "lblRiepilogo")->text(), u"Marco (con Marcp): 2 partite, 3 risposte, 2 esatte (67%)"_s);
    QVERIFY(separate->isEnabled());
    QVERIFY(QFile::exists(joinsFileIn(folder)));

    separate->click();
    QTRY_COMPARE(names->count(), 2);
    QVERIFY(!separate->isEnabled());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), history);
}

// A name as long as the game takes: cut in the list, the grid and the page's title, whole
// in their tooltips; the window stays as wide as it was, within the screen.
void TestQuaderno::longNameKeepsThePageInTheScreen()
{
    const QString name = QString(10000, u'W');
    writeHistory(header + game(u"Anna"_s, 1, {{3, true}}) + game(name, 2, {{3, true}}));
    auto window = open();
    QApplication::processEvents();
    const int width = window->width();
    const int screen = window->screen()->availableGeometry().width();
    QVERIFY(width <= screen);
    auto *names = child<QListWidget>(*window, "listaBambini");
    names->setCurrentRow(1);
    QApplication::processEvents();
    QCOMPARE(window->width(), width);
    QVERIFY(window->minimumSizeHint().width() <= screen);
    const QString cut = QString(39, u'W') + u"\u2026"_s;
    QCOMPARE(names->item(1)->text(), cut + u" - ultima partita 02/11/2026"_s);
    QCOMPARE(names->item(1)->toolTip(), name);
    QVERIFY(child<QLabel>(*window, "lblRiepilogo")->text().startsWith(cut + u':'));
    auto *grid = child<QTableView>(*window, "grigliaClasse");
    QCOMPARE(grid->model()->index(1, 0).data(Qt::AccessibleTextRole).toString(), name);
    QVERIFY(grid->model()->index(1, 0).data().toString().size() <= 30);
    child<QTabWidget>(*window, "schede")->setCurrentIndex(1);
    QApplication::processEvents();
    QCOMPARE(window->width(), width);
    QVERIFY(grid->columnViewportPosition(10) + grid->columnWidth(10) <= grid->viewport()->width());
}

// The print dialog in Italian: Qt's own translations, and the few words they lack.
void TestQuaderno::printDialogSpeaksItalian()
{
    QPrinter printer;
    QPrintDialog dialog(&printer);
    QStringList words;
    for (const QAbstractButton *b : dialog.findChildren<QAbstractButton *>())
        words.append(b->text());
    for (const QGroupBox *g : dialog.findChildren<QGroupBox *>())
        words.append(g->title());
    for (const QString &english : {u"Double Sided Printing"_s, u"Long side binding"_s, u"Off"_s, u"Pages"_s, u"Print all"_s})
        QVERIFY2(!words.contains(english), qPrintable(english));
    QVERIFY2(words.contains(u"Rilegatura sul lato lungo"_s), qPrintable(words.join(u", "_s)));
}

void TestQuaderno::gamesGroupedToFit_data()
{
    QTest::addColumn<int>("games");
    QTest::addColumn<int>("minutesApart");
    QTest::addColumn<int>("maxBars");
    QTest::addColumn<int>("by");
    QTest::addColumn<QString>("firstLabel");
    QTest::newRow("one game, one bar") << 1 << 0 << 11 << int(ChartBars::By::Game) << u"02/09 15:00"_s;
    QTest::newRow("40 games over three months, by week") << 40 << 2 * 24 * 60 + 7 << 14 << int(ChartBars::By::Week)
                                                         << u"sett. 31/08"_s;
    QTest::newRow("two games a day, one bar a day") << 40 << 12 * 60 << 30 << int(ChartBars::By::Day) << u"02/09"_s;
    QTest::newRow("2,000 games over a year and a half, by two months") << 2000 << 396 << 11 << int(ChartBars::By::Month)
                                                                      << u"set 2026"_s;
}

void TestQuaderno::gamesGroupedToFit()
{
    QFETCH(int, games);
    QFETCH(int, minutesApart);
    QFETCH(int, maxBars);
    QFETCH(int, by);
    QFETCH(QString, firstLabel);
    QList<GameSummary> list;
    const QDateTime start(QDate(2026, 9, 2), QTime(15, 0), Qt::OffsetFromUTC, 7200);
    for (int g = 0; g < games; ++g)
        list.append({start.addSecs(qint64(g) * minutesApart * 60), 2, 10 + g % 5, g % 3});
    const ChartBars bars = chartBars(list, maxBars);
    QCOMPARE(int(bars.by), by);
    QVERIFY(bars.labels.size() <= maxBars);
    QCOMPARE(bars.labels.first(), firstLabel);
    QCOMPARE(QSet<QString>(bars.labels.begin(), bars.labels.end()).size(), bars.labels.size());
    int answers = 0;
    for (qsizetype i = 0; i < bars.labels.size(); ++i)
        answers += bars.right[i] + bars.wrong[i];
    int expected = 0;
    for (const GameSummary &g : list)
        expected += g.right + g.wrong;
    QCOMPARE(answers, expected);
    QVERIFY(!bars.axisTitle.isEmpty());
}

QTEST_MAIN(TestQuaderno)
#include "tst_quaderno.moc"
