#include "core/runtimeerror.h"
#include "records/records.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readNumber_data();
    void readNumber();
    void toNumber_data();
    void toNumber();
    void dataFolderIsCreatedWhateverItsLength();
    void dataFolderThatCannotBeCreatedIsAnError();
    void recordFilesAreCreatedEmptyAndKept();
    void recordFileThatIsAFolderIsAnError();
    void contentIsReadWhole_data();
    void contentIsReadWhole();
    void writtenRecordIsOneLineEach_data();
    void writtenRecordIsOneLineEach();
    void failedSaveKeepsTheOldPair();
    void interruptedSaveIsFinishedOrUndone_data();
    void interruptedSaveIsFinishedOrUndone();

private:
    QString write(const QString &name, const QByteArray &content);
    QByteArray read(const QString &name);
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_dir;
};

void TestRecords::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    qputenv("XDG_DATA_HOME", m_tmp->path().toLocal8Bit());
    m_dir = m_tmp->path() + u"/quizzolo/"_s;
}

QString TestRecords::write(const QString &name, const QByteArray &content)
{
    QDir().mkpath(m_dir);
    QFile f(m_dir + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write the fixture %s", qPrintable(name));
    return f.fileName();
}

QByteArray TestRecords::read(const QString &name)
{
    QFile f(m_dir + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TestRecords::readNumber_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("expected");
    QTest::newRow("empty caption is 0") << u""_s << 0.0;
    QTest::newRow("stored line with CR LF") << u"12\r\n"_s << 12.0;
    QTest::newRow("spaces tabs and line feeds skipped") << u" \t\n 12"_s << 12.0;
    QTest::newRow("blanks inside the digits skipped") << u"1 2\t3"_s << 123.0;
    QTest::newRow("text after the number ignored") << u"12 punti"_s << 12.0;
    QTest::newRow("carriage return first stops reading") << u"\r\n12"_s << 0.0;
    QTest::newRow("no number is 0") << u"nome"_s << 0.0;
    QTest::newRow("negative") << u"-5\r\n"_s << -5.0;
    QTest::newRow("plus sign") << u"+7"_s << 7.0;
    QTest::newRow("fraction") << u"2.5x"_s << 2.5;
    QTest::newRow("leading point") << u".5"_s << 0.5;
    QTest::newRow("exponent") << u"1e3"_s << 1000.0;
    QTest::newRow("exponent written with D") << u"2D2"_s << 200.0;
    QTest::newRow("exponent without digits is not one") << u"12e"_s << 12.0;
    QTest::newRow("decimal comma stops reading") << u"12,5"_s << 12.0;
    QTest::newRow("other scripts' digits are not digits") << u"\u0661\u0662"_s << 0.0;
    QTest::newRow("lone sign is 0") << u"-"_s << 0.0;
}

void TestRecords::readNumber()
{
    QFETCH(QString, caption);
    QFETCH(double, expected);
    QCOMPARE(::readNumber(caption), expected);
}

void TestRecords::toNumber_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("expected");
    QTest::newRow("count") << u"13"_s << true << 13.0;
    QTest::newRow("zero") << u"0"_s << true << 0.0;
    QTest::newRow("surrounding spaces") << u" 7 "_s << true << 7.0;
    QTest::newRow("empty is a type mismatch") << u""_s << false << 0.0;
    QTest::newRow("words are a type mismatch") << u"tredici"_s << false << 0.0;
    QTest::newRow("trailing text is a type mismatch") << u"13a"_s << false << 0.0;
    QTest::newRow("stored line with CR LF") << u"12\r\n"_s << true << 12.0;
    QTest::newRow("tab and line feed before") << u"\t\n12"_s << true << 12.0;
    QTest::newRow("carriage return before is a type mismatch, not 0") << u"\r212"_s << false << 0.0;
    QTest::newRow("form feed before is a type mismatch, not 0") << u"\f5"_s << false << 0.0;
}

void TestRecords::toNumber()
{
    QFETCH(QString, caption);
    QFETCH(bool, valid);
    QFETCH(double, expected);
    if (valid) {
        QCOMPARE(::toNumber(caption), expected);
        return;
    }
    try {
        ::toNumber(caption);
        QFAIL("no error raised");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::TypeMismatch));
    }
}

void TestRecords::dataFolderIsCreatedWhateverItsLength()
{
    // Far beyond any fixed-size buffer: 40 nested folders of 20 characters.
    QString base = m_tmp->path();
    for (int i = 0; i < 40; ++i)
        base += u"/cartella-lunga-%1"_s.arg(i, 3, 10, QChar(u'0'));
    qputenv("XDG_DATA_HOME", base.toLocal8Bit());
    const QString dir = GetSystemDir();
    QCOMPARE(dir, base + u"/quizzolo/"_s);
    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(GetSystemDir(), dir);
}

void TestRecords::dataFolderThatCannotBeCreatedIsAnError()
{
    const QString blocker = m_tmp->path() + u"/un-file"_s;
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    try {
        GetSystemDir();
        QFAIL("no error raised");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::PathNotFound));
    }
}

void TestRecords::recordFilesAreCreatedEmptyAndKept()
{
    const QString dir = GetSystemDir();
    createRecordFiles(dir);
    QCOMPARE(read(u"azorpeli.txt"_s), QByteArray());
    QCOMPARE(read(u"nzorpeli.txt"_s), QByteArray());
    write(u"azorpeli.txt"_s, "12\r\n");
    createRecordFiles(dir);
    QCOMPARE(read(u"azorpeli.txt"_s), QByteArray("12\r\n"));
}

void TestRecords::recordFileThatIsAFolderIsAnError()
{
    const QString dir = GetSystemDir();
    QVERIFY(QDir().mkpath(dir + u"nzorpeli.txt"_s));
    try {
        createRecordFiles(dir);
        QFAIL("no error raised");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::PathFileAccess));
    }
    try {
        Leggifiletxt(dir + fileRecordNome);
        QFAIL("no error raised");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::PathFileAccess));
    }
}

void TestRecords::contentIsReadWhole_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty file") << QByteArray() << u""_s;
    QTest::newRow("line ending kept") << QByteArray("12\r\n") << u"12\r\n"_s;
    QTest::newRow("accented name in UTF-8") << QByteArray("Niccolò\r\n") << u"Niccolò\r\n"_s;
    QTest::newRow("invalid UTF-8 becomes replacement characters")
        << QByteArray("ab\xff\xfe") << u"ab\uFFFD\uFFFD"_s;
    QTest::newRow("NUL bytes kept") << QByteArray("1\0002", 3) << u"1\u00002"_s;
}

void TestRecords::contentIsReadWhole()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QCOMPARE(Leggifiletxt(write(u"azorpeli.txt"_s, content)), expected);
}

void TestRecords::writtenRecordIsOneLineEach_data()
{
    QTest::addColumn<int>("tabellina");
    QTest::addColumn<QString>("punti");
    QTest::addColumn<QString>("nome");
    QTest::newRow("table of 2") << 2 << u"azorpeli.txt"_s << u"nzorpeli.txt"_s;
    QTest::newRow("table of 3") << 3 << u"azorpeli3.txt"_s << u"nzorpeli3.txt"_s;
    QTest::newRow("table of 7") << 7 << u"azorpeli7.txt"_s << u"nzorpeli7.txt"_s;
    QTest::newRow("table of 10") << 10 << u"azorpeli10.txt"_s << u"nzorpeli10.txt"_s;
    QTest::newRow("every table mixed") << 0 << u"azorpelitutte.txt"_s << u"nzorpelitutte.txt"_s;
}

// Each table keeps its record in a pair of its own; the others are never touched.
void TestRecords::writtenRecordIsOneLineEach()
{
    QFETCH(int, tabellina);
    QFETCH(QString, punti);
    QFETCH(QString, nome);
    const QString dir = GetSystemDir();
    const RecordFiles files = recordFilesFor(tabellina);
    QCOMPARE(files.punti, u'/' + punti);
    QCOMPARE(files.nome, u'/' + nome);
    createRecordFiles(dir, files);
    writeRecord(dir, u"13"_s, u"Niccolò  &  <b>"_s, files);
    QCOMPARE(read(punti), QByteArray("13\r\n"));
    QCOMPARE(read(nome), QByteArray("Niccol\xc3\xb2  &  <b>\r\n"));
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList({punti, nome}));
}

void TestRecords::failedSaveKeepsTheOldPair()
{
    const QString dir = GetSystemDir();
    write(u"azorpeli.txt"_s, "12\r\n");
    write(u"nzorpeli.txt"_s, "Anna\r\n");
    // A folder where the name's prepared copy must go makes the save fail half-way.
    QVERIFY(QDir().mkpath(dir + u"nzorpeli.txt.nuovo"_s));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, writeRecord(dir, u"13"_s, u"Bruno"_s));
    QCOMPARE(read(u"azorpeli.txt"_s), QByteArray("12\r\n"));
    QCOMPARE(read(u"nzorpeli.txt"_s), QByteArray("Anna\r\n"));
    QVERIFY(!QFileInfo::exists(dir + u"azorpeli.txt.nuovo"_s));
}

void TestRecords::interruptedSaveIsFinishedOrUndone_data()
{
    QTest::addColumn<bool>("puntiPrepared");
    QTest::addColumn<bool>("nomePrepared");
    QTest::addColumn<QByteArray>("punti");
    QTest::addColumn<QByteArray>("nome");
    QTest::newRow("cut short while preparing: old pair") << true << false << QByteArray("12\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("both prepared: new pair") << true << true << QByteArray("13\r\n") << QByteArray("Bruno\r\n");
    QTest::newRow("score already replaced: new pair") << false << true << QByteArray("13\r\n") << QByteArray("Bruno\r\n");
}

void TestRecords::interruptedSaveIsFinishedOrUndone()
{
    QFETCH(bool, puntiPrepared);
    QFETCH(bool, nomePrepared);
    QFETCH(QByteArray, punti);
    QFETCH(QByteArray, nome);
    const QString dir = GetSystemDir();
    write(u"azorpeli.txt"_s, puntiPrepared ? "12\r\n" : "13\r\n");
    write(u"nzorpeli.txt"_s, "Anna\r\n");
    if (puntiPrepared)
        write(u"azorpeli.txt.nuovo"_s, "13\r\n");
    if (nomePrepared)
        write(u"nzorpeli.txt.nuovo"_s, "Bruno\r\n");
    write(u"azorpeli.txt.nuovo.Ab12Cd"_s, "1"); // a copy's temporary file, cut short
    createRecordFiles(dir);
    QCOMPARE(read(u"azorpeli.txt"_s), punti);
    QCOMPARE(read(u"nzorpeli.txt"_s), nome);
    QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 2);
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
