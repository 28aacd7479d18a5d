#include "storico/classcopy.h"
#include "storico/factrule.h"
#include "storico/historylog.h"
#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <ctime>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QDateTime at(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

HistoryEntry entry(const char *partita, const char *ora, const QString &nome, int fattore, const QString &risposta,
                   bool esatta, qint64 ms)
{
    return {at(partita), at(ora), nome, fattore, risposta, esatta, ms};
}

// A line as the writer writes it, for the reading tests.
QByteArray line(const char *partita, const char *ora, const char *nome, int fattore, bool esatta, qint64 ms,
                int tabellina = 2, qint64 dopo = -1)
{
    HistoryEntry e = entry(partita, ora, QString::fromUtf8(nome), fattore, QString::number(tabellina * fattore),
                           esatta, ms);
    e.tabellina = tabellina;
    e.dopoDettatura = dopo;
    return encodeHistoryLine(e);
}

// The shown names of a summary, in its order.
QStringList shownNames(const HistorySummary &summary)
{
    QStringList names;
    for (const QString &key : summary.names)
        names.append(summary.children.value(key).name);
    return names;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool appendFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(content) == content.size();
}

const QByteArray header = QByteArray(historyHeader) + "\r\n";

// The two answers of the game in the class folder's tests.
QList<HistoryEntry> copiedAnswers()
{
    return {entry("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", u"Anna"_s, 2, u"4"_s, true, 5000),
            entry("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", u"Anna"_s, 3, u"7"_s, false, 4000)};
}

// What one file descriptor receives while the object lives.
class Capture final
{
public:
    explicit Capture(int fd)
        : m_fd(fd)
    {
        std::fflush(nullptr);
        m_saved = ::dup(fd);
        m_file.open();
        ::dup2(m_file.handle(), fd);
    }
    ~Capture() { restore(); }
    QByteArray text()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(nullptr);
        ::dup2(m_saved, m_fd);
        ::close(m_saved);
        m_saved = -1;
    }
    int m_fd;
    int m_saved = -1;
    QTemporaryFile m_file;
};

} // namespace

class TestStorico : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lineIsEncodedExactly_data();
    void lineIsEncodedExactly();
    void roundTrip_data();
    void roundTrip();
    void damagedLineIsRejected_data();
    void damagedLineIsRejected();
    void readingCountsAndSkips_data();
    void readingCountsAndSkips();
    void statistics();
    void factRule_data();
    void factRule();
    void factsJudgedFromTheFile_data();
    void factsJudgedFromTheFile();
    void fileIsReadInChunksLikeAWhole();
    void missingFileAndFolderInItsPlace();
    void classFolderReadAndFollowed();
    void joinedNamesCountAsOneChild();
    void joinsFileIsWrittenSafely_data();
    void joinsFileIsWrittenSafely();
    void logWritesHeaderThenLinesAndMendsATornEnd();
    void ownAnswersCountedOnce_data();
    void ownAnswersCountedOnce();
    void classFolderOutOfReachKeepsWhatWasRead();
    void logKeepsAnswersThroughAFailure();
    void upgradeKeepsAnotherGamesAnswer();
    void logCopiesToTheClassFolder_data();
    void logCopiesToTheClassFolder();
    void classFileNameIsSafe_data();
    void classFileNameIsSafe();

private:
    QTemporaryDir m_tmp;
};

void TestStorico::initTestCase()
{
    // The game's stamps are local time: an Italian winter gives a fixed, known offset.
    qputenv("TZ", "Europe/Rome");
    tzset();
    QVERIFY(m_tmp.isValid());
    // The configuration names a class folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_tmp.filePath(u"config"_s)));
    QVERIFY(QDir().mkpath(m_tmp.filePath(u"config/quizzolo"_s)));
    QFile conf(m_tmp.filePath(u"config/quizzolo/quizzolo.conf"_s));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[storico]\ncartella=" + QFile::encodeName(m_tmp.filePath(u"classe"_s)) + '\n');
}

void TestStorico::lineIsEncodedExactly_data()
{
    QTest::addColumn<HistoryEntry>("entry");
    QTest::addColumn<QByteArray>("expected");
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 15, 3, 870), Qt::LocalTime);
    QTest::newRow("local time with its offset, seconds only")
        << HistoryEntry{start, start.addMSecs(6500), u"Mario"_s, 3, u"6"_s, true, 6500}
        << QByteArray("2026-12-07T10:15:03+01:00;2026-12-07T10:15:10+01:00;Mario;3;6;1;6500;2;\r\n");
    const QDateTime summer(QDate(2026, 7, 1), QTime(9, 0, 0), Qt::LocalTime);
    HistoryEntry seven{start, start.addMSecs(4200), u"Mario"_s, 8, u"56"_s, true, 4200, 7, 1850};
    QTest::newRow("table of 7, time after the dictation")
        << seven << QByteArray("2026-12-07T10:15:03+01:00;2026-12-07T10:15:08+01:00;Mario;8;56;1;4200;7;1850\r\n");
    QTest::newRow("summer time")
        << HistoryEntry{summer, summer, u"Amico"_s, 10, u"20"_s, true, 0}
        << QByteArray("2026-07-01T09:00:00+02:00;2026-07-01T09:00:00+02:00;Amico;10;20;1;0;2;\r\n");
    QTest::newRow("UTC keeps a numeric offset")
        << entry("2026-12-07T09:15:03Z", "2026-12-07T09:15:04Z", u"Zoë"_s, 1, u""_s, false, 12)
        << QByteArray("2026-12-07T09:15:03+00:00;2026-12-07T09:15:04+00:00;Zo\xC3\xAB;1;;0;12;2;\r\n");
    QTest::newRow("separator and quotes quoted, quotes doubled")
        << entry("2026-12-07T10:15:03-03:30", "2026-12-07T10:15:04-03:30", u"Anna; \"Tigre\""_s, 7, u"1\"4"_s,
                 false, 99)
        << QByteArray("2026-12-07T10:15:03-03:30;2026-12-07T10:15:04-03:30;\"Anna; \"\"Tigre\"\"\";7;\"1\"\"4\";0;99;2;\r\n");
    QTest::newRow("separator alone quoted")
        << entry("2026-12-07T10:15:03+01:00", "2026-12-07T10:15:04+01:00", u"Lu;ca"_s, 2, u";"_s, false, 1)
        << QByteArray("2026-12-07T10:15:03+01:00;2026-12-07T10:15:04+01:00;\"Lu;ca\";2;\";\";0;1;2;\r\n");
    QTest::newRow("line breaks quoted")
        << entry("2026-12-07T10:15:03+01:00", "2026-12-07T10:15:04+01:00", u"Riga\r\nnuova\n"_s, 2, u"4"_s, true, 1)
        << QByteArray("2026-12-07T10:15:03+01:00;2026-12-07T10:15:04+01:00;\"Riga\r\nnuova\n\";2;4;1;1;2;\r\n");
}

void TestStorico::lineIsEncodedExactly()
{
    QFETCH(HistoryEntry, entry);
    QFETCH(QByteArray, expected);
    QCOMPARE(encodeHistoryLine(entry), expected);
}

void TestStorico::roundTrip_data()
{
    QTest::addColumn<HistoryEntry>("entry");
    QTest::newRow("plain") << entry("2026-12-07T10:15:03+01:00", "2026-12-07T10:16:00+01:00", u"Mario"_s, 5, u"10"_s,
                                    true, 2345);
    QTest::newRow("accents and other scripts")
        << entry("2026-12-07T10:15:03+01:00", "2026-12-07T10:15:09+01:00", u"Lucìa dell'Àquila 李"_s, 9, u"18"_s,
                 true, 800);
    QTest::newRow("every character that needs quoting, in name and answer")
        << entry("2026-12-07T10:15:03+05:45", "2026-12-07T10:15:09+05:45", u"\";\r\n\"\"x;"_s, 4, u";\"\r\n"_s,
                 false, 0);
    QTest::newRow("name and answer starting with U+FEFF")
        << entry("2026-12-07T10:15:03+01:00", "2026-12-07T10:15:03+01:00", u"\ufeff"_s, 6, u"\ufeff12"_s, false, 1);
    QTest::newRow("quote alone") << entry("2026-12-07T10:15:03+01:00", "2026-12-07T10:15:03+01:00", u"\""_s, 6,
                                          u"\""_s, false, 1);
    QTest::newRow("table of 10, time after the dictation zero")
        << HistoryEntry{at("2026-12-07T10:15:03+01:00"), at("2026-12-07T10:15:04+01:00"), u"Eva"_s, 10, u"100"_s,
                        true, 900, 10, 0};
    QTest::newRow("long answer, long time")
        << entry("2026-12-31T23:59:59-12:00", "2027-01-01T00:00:10-12:00", u"Amico"_s, 8, QString(250, u'9'), false,
                 999999999999LL);
}

void TestStorico::roundTrip()
{
    QFETCH(HistoryEntry, entry);
    QByteArray encoded = encodeHistoryLine(entry);
    QVERIFY(encoded.endsWith("\r\n"));
    encoded.chop(2);
    const std::optional<HistoryEntry> decoded = decodeHistoryLine(encoded);
    QVERIFY(decoded);
    QCOMPARE(decoded->partita, entry.partita);
    QCOMPARE(decoded->partita.offsetFromUtc(), entry.partita.offsetFromUtc());
    QCOMPARE(decoded->ora, entry.ora);
    QCOMPARE(decoded->nome, entry.nome);
    QCOMPARE(decoded->fattore, entry.fattore);
    QCOMPARE(decoded->risposta, entry.risposta);
    QCOMPARE(decoded->esatta, entry.esatta);
    QCOMPARE(decoded->millisecondi, entry.millisecondi);
    QCOMPARE(decoded->tabellina, entry.tabellina);
    QCOMPARE(decoded->dopoDettatura, entry.dopoDettatura);
}

void TestStorico::damagedLineIsRejected_data()
{
    QTest::addColumn<QByteArray>("line");
    const QByteArray t = "2026-12-07T10:15:03+01:00";
    const QByteArray good = t + ';' + t + ";Mario;3;6;1;1500";
    QVERIFY(decodeHistoryLine(good));
    QVERIFY(decodeHistoryLine(good + ";2;"));
    QTest::newRow("six fields") << QByteArray(t + ';' + t + ";Mario;3;6;1");
    QTest::newRow("eight fields") << QByteArray(good + ";x");
    QTest::newRow("eight fields, the table without its time") << QByteArray(good + ";2");
    QTest::newRow("ten fields") << QByteArray(good + ";2;100;x");
    QTest::newRow("table 1") << QByteArray(good + ";1;100");
    QTest::newRow("table 11") << QByteArray(good + ";11;100");
    QTest::newRow("table empty") << QByteArray(good + ";;100");
    QTest::newRow("time after the dictation negative") << QByteArray(good + ";2;-1");
    QTest::newRow("time after the dictation quoted") << QByteArray(good + ";2;\"\"");
    QTest::newRow("factor 0") << QByteArray(t + ';' + t + ";Mario;0;0;1;1500");
    QTest::newRow("factor 11") << QByteArray(t + ';' + t + ";Mario;11;22;1;1500");
    QTest::newRow("factor in words") << QByteArray(t + ';' + t + ";Mario;tre;6;1;1500");
    QTest::newRow("verdict 2") << QByteArray(t + ';' + t + ";Mario;3;6;2;1500");
    QTest::newRow("verdict 01") << QByteArray(t + ';' + t + ";Mario;3;6;01;1500");
    QTest::newRow("negative time") << QByteArray(t + ';' + t + ";Mario;3;6;1;-5");
    QTest::newRow("time with a space") << QByteArray(t + ';' + t + ";Mario;3;6;1;1500 ");
    QTest::newRow("time beyond any clock") << QByteArray(t + ';' + t + ";Mario;3;6;1;99999999999999999999");
    QTest::newRow("empty name") << QByteArray(t + ';' + t + ";;3;6;1;1500");
    QTest::newRow("February 30th") << QByteArray("2026-02-30T10:15:03+01:00;" + t + ";Mario;3;6;1;1500");
    QTest::newRow("hour 24") << QByteArray("2026-12-07T24:00:00+01:00;" + t + ";Mario;3;6;1;1500");
    QTest::newRow("offset beyond 14 hours") << QByteArray("2026-12-07T10:15:03+15:00;" + t + ";Mario;3;6;1;1500");
    QTest::newRow("no offset") << QByteArray("2026-12-07T10:15:03;" + t + ";Mario;3;6;1;1500");
    QTest::newRow("milliseconds") << QByteArray("2026-12-07T10:15:03.123+01:00;" + t + ";Mario;3;6;1;1500");
    QTest::newRow("quote inside an unquoted field") << QByteArray(t + ';' + t + ";Ma\"rio;3;6;1;1500");
    QTest::newRow("text after a closing quote") << QByteArray(t + ';' + t + ";\"Mario\"x;3;6;1;1500");
    QTest::newRow("quote never closed") << QByteArray(t + ';' + t + ";\"Mario;3;6;1;1500");
    QTest::newRow("two lines") << QByteArray(good + "\r\n" + good);
    QTest::newRow("header") << QByteArray(historyHeader);
    QTest::newRow("old header") << QByteArray(oldHistoryHeader);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\xff;\x01\x02;\x80;\x00;\x00;\x00;\x00", 14);
}

void TestStorico::damagedLineIsRejected()
{
    QFETCH(QByteArray, line);
    QVERIFY(!decodeHistoryLine(line));
}

void TestStorico::readingCountsAndSkips_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("entries");
    QTest::addColumn<qint64>("skipped");
    QTest::addColumn<QStringList>("names");  // shown, in the summary's order
    QTest::addColumn<bool>("notHistory");

    const QByteArray a = line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", "Anna", 2, true, 5000);
    const QByteArray b = line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "Anna", 3, false, 4000);
    const QByteArray c = line("2026-12-07T11:00:00+01:00", "2026-12-07T11:00:04+01:00", "Luca", 4, true, 3000);
    const QByteArray quoted = line("2026-12-07T12:00:00+01:00", "2026-12-07T12:00:04+01:00", "Bea\r\n;\"x\"", 5,
                                   true, 3000);
    const QStringList annaLuca{u"Anna"_s, u"Luca"_s};
    QByteArray crOnly = header + a + b + c;
    crOnly.replace("\r\n", "\r");

    QTest::newRow("header only") << header << 0LL << 0LL << QStringList() << false;
    QTest::newRow("empty file") << QByteArray() << 0LL << 0LL << QStringList() << false;
    QTest::newRow("three lines") << header + a + b + c << 3LL << 0LL << annaLuca << false;
    QTest::newRow("CR alone ends lines too") << crOnly << 3LL << 0LL << annaLuca << false;
    QTest::newRow("CR, LF and CR LF mixed")
        << header.chopped(1) + a.chopped(2) + "\n" + b.chopped(1) + c << 3LL << 0LL << annaLuca << false;
    QTest::newRow("torn last line skipped") << header + a + b + c.left(40) << 2LL << 1LL << QStringList{u"Anna"_s}
                                            << false;
    QTest::newRow("torn just before its line ending")
        << header + a + b + c.chopped(2) << 2LL << 1LL << QStringList{u"Anna"_s} << false;
    QTest::newRow("torn line mended by the next append")
        << header + a + c.left(40) + "\r\n" + b << 2LL << 1LL << QStringList{u"Anna"_s} << false;
    QTest::newRow("torn inside a quoted name, lines appended after it kept")
        << header + a + quoted.left(quoted.indexOf("\r\n")) + "\r\n" + b + c << 3LL << 1LL << annaLuca << false;
    QTest::newRow("quoted line break inside a name")
        << header + quoted + a << 2LL << 0LL << QStringList{u"Anna"_s, u"Bea\r\n;\"x\""_s} << false;
    QTest::newRow("torn header") << QByteArray(historyHeader).left(12) + "\r\n" + a << 1LL << 1LL
                                 << QStringList{u"Anna"_s} << false;
    QTest::newRow("header again in the middle, blank lines, no final blank counted")
        << header + a + "\r\n\n\r" + header + c + "\r\n" << 2LL << 0LL << annaLuca << false;
    QTest::newRow("byte-order mark and bare line feeds")
        << "\xEF\xBB\xBF" + header + a.chopped(2) + "\n" + c.chopped(2) + "\n" << 2LL << 0LL << annaLuca << false;
    QTest::newRow("damaged lines between good ones counted")
        << header + a + "rubbish\r\n" + "1;2;3;4;5;6;7\r\n" + QByteArray(300, '\0') + "\r\n" + c << 2LL << 3LL
        << annaLuca << false;
    QTest::newRow("quote never closed skips one line")
        << header + "\"" + a + b << 1LL << 1LL << QStringList{u"Anna"_s} << false;
    QTest::newRow("names that differ only in damaged UTF-8 are one child")
        << header + "2026-12-07T10:00:00+01:00;2026-12-07T10:00:05+01:00;M\xed\x89io;2;4;1;1\r\n"
               + "2026-12-07T10:00:00+01:00;2026-12-07T10:00:06+01:00;M\xed\x8aio;2;4;1;1\r\n"
        << 2LL << 0LL << QStringList{u"M\ufffd\ufffdio"_s} << false;
    QTest::newRow("a name cut inside a character reads as a replacement character")
        << header + "2026-12-07T10:00:00+01:00;2026-12-07T10:00:05+01:00;\xe2;2;4;1;1\r\n" << 1LL << 0LL
        << QStringList{u"\ufffd"_s} << false;
    QTest::newRow("old header, old lines and new lines read alike")
        << QByteArray(oldHistoryHeader) + "\r\n" + a.left(a.lastIndexOf(";2;")) + "\r\n" + c << 2LL << 0LL
        << annaLuca << false;
    QTest::newRow("an old line after a new one is a new line cut short")
        << header + a + c.left(c.lastIndexOf(";2;") - 2) + "\r\n" << 1LL << 1LL << QStringList{u"Anna"_s} << false;
    QTest::newRow("names grouped ignoring case and spaces at the ends, not accents; the latest spelling shown")
        << header + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", " Nicolò ", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:30+01:00", "nicolò", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:20+01:00", "Nicolò", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:40+01:00", "Nicolo", 2, true, 1)
        << 4LL << 0LL << QStringList{u"Nicolo"_s, u"nicolò"_s} << false;
    QTest::newRow("a precomposed accent and a combining one are one child; names trimmed, and sorted so")
        << header + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "Nicol\xc3\xb2", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:20+01:00", "Nicolo\xcc\x80", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:30+01:00", " zeno ", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", "Anna", 2, true, 1)
        << 4LL << 0LL << QStringList{u"Anna"_s, u"Nicolo\u0300"_s, u"zeno"_s} << false;
    QTest::newRow("Italian alphabetical order: case and accents second")
        << header + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "Zoe", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "bruno", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "Àlvaro", 2, true, 1)
               + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "Alvise", 2, true, 1)
        << 4LL << 0LL << QStringList{u"Àlvaro"_s, u"Alvise"_s, u"bruno"_s, u"Zoe"_s} << false;
    QTest::newRow("only binary is not a history")
        << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0", 16) << 0LL << 1LL << QStringList() << true;
    QTest::newRow("another CSV is not a history")
        << "nome;cognome;classe\r\nAnna;Rossi;3B\r\nLuca;Bianchi;3B\r"_ba << 0LL << 3LL << QStringList() << true;
}

void TestStorico::readingCountsAndSkips()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, entries);
    QFETCH(qint64, skipped);
    QFETCH(QStringList, names);
    QFETCH(bool, notHistory);
    const HistorySummary summary = summarizeHistory(content);
    QVERIFY(summary.exists);
    QCOMPARE(summary.entries, entries);
    QCOMPARE(summary.skipped, skipped);
    QCOMPARE(shownNames(summary), names);
    QCOMPARE(summary.children.size(), names.size());
    QCOMPARE(summary.notHistory, notHistory);
}

void TestStorico::statistics()
{
    // Two games of Anna (the later one first in the file, as two copies of the game might
    // write), one of Luca in between; the earlier game of Anna mixes tables.
    QByteArray content = header;
    content += line("2026-12-08T09:00:00+01:00", "2026-12-08T09:00:10+01:00", "Anna", 2, true, 3500, 2, 3000);
    content += line("2026-12-08T09:00:00+01:00", "2026-12-08T09:00:20+01:00", "Anna", 2, false, 9500, 2, 9000);
    content += line("2026-12-08T09:00:00+01:00", "2026-12-08T09:00:30+01:00", "Anna", 2, true, 1500, 2, 1000);
    content += line("2026-12-08T09:00:00+01:00", "2026-12-08T09:00:40+01:00", "Anna", 4, true, 1500, 2, 1000);
    content += line("2026-12-08T12:00:00+05:00", "2026-12-08T12:00:30+05:00", "Luca", 7, true, 900, 7, 700);
    content += line("2026-12-07T18:00:00+01:00", "2026-12-07T18:00:05+01:00", "Anna", 4, true, 2500, 2, 2000);
    content += line("2026-12-07T18:00:00+01:00", "2026-12-07T18:00:09+01:00", "Anna", 4, true, 4500, 2, 4000);
    content += line("2026-12-07T18:00:00+01:00", "2026-12-07T18:00:15+01:00", "Anna", 4, false, 8500, 2, 8000);
    content += line("2026-12-07T18:00:00+01:00", "2026-12-07T18:00:25+01:00", "Anna", 4, true, 6500, 2, 6000);
    // The same instant written with another offset is the same game.
    content += line("2026-12-07T17:00:00Z", "2026-12-07T17:00:30Z", "Anna", 9, false, 100, 3);

    const HistorySummary summary = summarizeHistory(content);
    QCOMPARE(summary.entries, 10);
    QCOMPARE(summary.names, (QStringList{u"anna"_s, u"luca"_s}));

    const ChildReport anna = summary.children.value(u"anna"_s);
    QCOMPARE(anna.name, u"Anna"_s);
    QCOMPARE(anna.games.size(), 2);
    QCOMPARE(anna.games[0].started, at("2026-12-07T18:00:00+01:00"));
    QCOMPARE(anna.games[0].started.offsetFromUtc(), 3600);
    QCOMPARE(anna.games[0].tabellina, 0);
    QCOMPARE(anna.games[0].right, 3);
    QCOMPARE(anna.games[0].wrong, 2);
    QCOMPARE(anna.games[1].started, at("2026-12-08T09:00:00+01:00"));
    QCOMPARE(anna.games[1].tabellina, 2);
    QCOMPARE(anna.games[1].right, 3);
    QCOMPARE(anna.games[1].wrong, 1);
    QCOMPARE(anna.lastGame, anna.games[1].started);

    const FactStats &two = anna.fact(2, 2);
    QCOMPARE(two.answers, 3);
    QCOMPARE(two.right, 2);
    QCOMPARE(two.evidence, (FactEvidence{3, 2, 3000}));  // the time after the dictation; odd count: the middle one
    QCOMPARE(two.state, FactState::DaRipassare);
    const FactStats &four = anna.fact(2, 4);
    QCOMPARE(four.answers, 5);
    QCOMPARE(four.right, 4);
    QCOMPARE(four.evidence, (FactEvidence{5, 4, 4000}));
    QCOMPARE(four.state, FactState::InEsercizio);
    QCOMPARE(four.timeline.size(), 2);
    QCOMPARE(four.timeline[0].day, QDate(2026, 12, 7));
    QVERIFY(four.timeline[0].answers == 4 && four.timeline[0].right == 3);
    QCOMPARE(four.timeline[1].day, QDate(2026, 12, 8));
    QVERIFY(four.timeline[1].answers == 1 && four.timeline[1].right == 1);
    const FactStats &untimed = anna.fact(3, 9);
    QVERIFY(untimed.answers == 1 && untimed.evidence.medianMs == -1 && untimed.state == FactState::Nuovo);
    QCOMPARE(anna.fact(2, 1).answers, 0);
    QCOMPARE(anna.fact(2, 1).evidence.medianMs, -1);
    QCOMPARE(anna.fact(11, 1).answers, 0);

    const ChildReport luca = summary.children.value(u"luca"_s);
    QCOMPARE(luca.games.size(), 1);
    QCOMPARE(luca.games[0].tabellina, 7);
    QCOMPARE(luca.fact(7, 7).evidence.medianMs, 700);
}

void TestStorico::factRule_data()
{
    // Answers oldest first: '1' right, '0' wrong; times in ms after the dictation, -1 unknown
    // (one time for all when the list has one element). The evidence shown beside the state:
    // the right answers of the last ten and their median time (-1 none).
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<FactState>("state");
    QTest::addColumn<int>("right");
    QTest::addColumn<double>("median");

    QTest::newRow("two answers are new, whatever they are") << "00"_ba << QList<int>{9000} << FactState::Nuovo << 0 << 9000.0;
    QTest::newRow("no answers are new") << ""_ba << QList<int>{} << FactState::Nuovo << 0 << -1.0;
    QTest::newRow("three right and quick are still practising") << "111"_ba << QList<int>{1000}
                                                                << FactState::InEsercizio << 3 << 1000.0;
    QTest::newRow("five right at 3 s exactly are sure") << "11111"_ba << QList<int>{3000} << FactState::Sicuro << 5 << 3000.0;
    QTest::newRow("five right just over 3 s are practising") << "11111"_ba << QList<int>{3001}
                                                             << FactState::InEsercizio << 5 << 3001.0;
    QTest::newRow("half a millisecond over 3 s is practising")
        << "111111"_ba << QList<int>{3000, 3000, 3000, 3001, 3001, 3001} << FactState::InEsercizio << 6 << 3000.5;
    QTest::newRow("four right at 3 s are practising") << "1111"_ba << QList<int>{3000} << FactState::InEsercizio << 4
                                                      << 3000.0;
    QTest::newRow("9 of 10 right is sure") << "1111101111"_ba << QList<int>{2000} << FactState::Sicuro << 9 << 2000.0;
    QTest::newRow("4 of 5 right is practising") << "11011"_ba << QList<int>{2000} << FactState::InEsercizio << 4
                                                << 2000.0;
    QTest::newRow("under 80% right is to practise") << "1101"_ba << QList<int>{1000} << FactState::DaRipassare << 3
                                                    << 1000.0;
    QTest::newRow("median over 6 s is to practise") << "111111"_ba << QList<int>{6001} << FactState::DaRipassare << 6
                                                    << 6001.0;
    QTest::newRow("median at 6 s exactly is practising") << "111111"_ba << QList<int>{6000}
                                                         << FactState::InEsercizio << 6 << 6000.0;
    QTest::newRow("even count: the median halves the middle pair")
        << "111111"_ba << QList<int>{1000, 1000, 2000, 4000, 9000, 9000} << FactState::Sicuro << 6 << 3000.0;
    QTest::newRow("only the last ten answers count")
        << "000001111111111"_ba << QList<int>{1500} << FactState::Sicuro << 10 << 1500.0;
    QTest::newRow("untimed answers count for accuracy only")
        << "1111111"_ba << QList<int>{-1, -1, -1, -1, 9000, 1000, 1000} << FactState::Sicuro << 7 << 1000.0;
    QTest::newRow("untimed answers are left out of the median, not counted as instant")
        << "11111"_ba << QList<int>{-1, -1, -1, 4000, 4000} << FactState::InEsercizio << 5 << 4000.0;
    QTest::newRow("no timed answer: accuracy alone") << "11111"_ba << QList<int>{-1} << FactState::Sicuro << 5 << -1.0;
    QTest::newRow("no timed answer and wrong: to practise") << "10101"_ba << QList<int>{-1}
                                                            << FactState::DaRipassare << 3 << -1.0;
}

void TestStorico::factRule()
{
    QFETCH(QByteArray, answers);
    QFETCH(QList<int>, times);
    QFETCH(FactState, state);
    QFETCH(int, right);
    QFETCH(double, median);
    std::vector<FactAnswer> list;
    for (qsizetype i = 0; i < answers.size(); ++i)
        list.push_back({answers[i] == '1', times.size() == 1 ? times[0] : times[i]});
    const FactEvidence evidence = factEvidence(list);
    QCOMPARE(evidence, (FactEvidence{int(std::min<qsizetype>(answers.size(), 10)), right, median}));
    QCOMPARE(judgeFact(evidence), state);
    QCOMPARE(judgeFact(list), state);
}

void TestStorico::factsJudgedFromTheFile_data()
{
    // One child's answers, one line each, a minute apart: the fact 2 x fattore where fattore
    // is given, else 2 x 1 to 2 x 10 in turn; right as '1', wrong as '0'.
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("fattore");
    QTest::addColumn<QList<int>>("dopo");  // ms after the dictation, in turn
    QTest::addColumn<FactState>("state");  // of 2 x 1
    QTest::addColumn<int>("toPractise");   // facts of the child "da ripassare"

    QTest::newRow("57 of 57 right, some slower than the child's usual: no fact to practise")
        << QByteArray(57, '1') << 0 << QList<int>{900, 2900, 1500, 2500, 1200, 2000, 2800} << FactState::Sicuro << 0;
    QTest::newRow("five right at 3 s are sure") << "11111"_ba << 1 << QList<int>{3000} << FactState::Sicuro << 0;
    QTest::newRow("four right at 3 s are practising") << "1111"_ba << 1 << QList<int>{3000} << FactState::InEsercizio
                                                      << 0;
    QTest::newRow("five right just over 3 s are practising")
        << "11111"_ba << 1 << QList<int>{2000, 3001, 3001, 3001, 2000} << FactState::InEsercizio << 0;
    QTest::newRow("only the last ten count") << "000001111111111"_ba << 1 << QList<int>{1000} << FactState::Sicuro
                                             << 0;
    QTest::newRow("ten wrong before ten right in time, though after them in the file")
        << "11111111110000000000"_ba << -1 << QList<int>{1000} << FactState::Sicuro << 0;
    QTest::newRow("three slow are to practise") << "111"_ba << 1 << QList<int>{6001} << FactState::DaRipassare << 1;
}

void TestStorico::factsJudgedFromTheFile()
{
    QFETCH(QByteArray, answers);
    QFETCH(int, fattore);
    QFETCH(QList<int>, dopo);
    QFETCH(FactState, state);
    QFETCH(int, toPractise);
    QByteArray content = header;
    const QDateTime start = at("2026-12-07T10:00:00+01:00");
    for (qsizetype i = 0; i < answers.size(); ++i) {
        // fattore -1: the second half of the answers was checked before the first.
        const qsizetype minute = fattore >= 0 || i >= answers.size() / 2 ? i : i + answers.size();
        HistoryEntry e{start, start.addSecs(60 * minute), u"Eva"_s, fattore > 0 ? fattore : int(1 + i % 10),
                       u"2"_s, answers[i] == '1', 1, 2, dopo[i % dopo.size()]};
        if (fattore < 0)
            e.fattore = 1;
        content += encodeHistoryLine(e);
    }
    const ChildReport eva = summarizeHistory(content).children.value(u"eva"_s);
    QCOMPARE(eva.fact(2, 1).state, state);
    int practise = 0;
    for (int f = 1; f <= 10; ++f)
        practise += eva.fact(2, f).state == FactState::DaRipassare;
    QCOMPARE(practise, toPractise);
}

// Lines cut by the reading's chunk boundaries at every place, names with line breaks,
// damage and an overlong line give the same summary as reading the bytes whole.
void TestStorico::fileIsReadInChunksLikeAWhole()
{
    QByteArray content = header;
    for (int i = 0; i < 40000; ++i) {
        const QByteArray name = i % 7 == 0 ? "Bea\r\nTrice" : (i % 3 == 0 ? "Anna" : "Luca");
        const QByteArray partita = "2026-12-0" + QByteArray::number(1 + i / 5000) + "T10:00:00+01:00";
        content += line(partita.constData(), "2026-12-07T10:00:10+01:00", name.constData(), 1 + i % 10, i % 4 != 0,
                        i % 977);
        if (i == 12345)
            content += "rotto;\r\n";
        if (i == 30000)
            content += "\"" + QByteArray(3 << 20, 'x') + "\r\n";  // one overlong damaged line
    }
    QVERIFY(content.size() > 4 << 20);  // several chunks
    const QString path = m_tmp.filePath(u"chunks.csv"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
    file.close();

    const HistorySummary whole = summarizeHistory(content);
    const HistorySummary read = readHistory(path);
    QCOMPARE(whole.entries, 40000);
    QCOMPARE(whole.skipped, 2);
    QCOMPARE(read.entries, whole.entries);
    QCOMPARE(read.skipped, whole.skipped);
    QCOMPARE(read.names, whole.names);
    QVERIFY(read.error.isEmpty());
    for (const QString &name : whole.names) {
        const ChildReport &x = whole.children[name];
        const ChildReport &y = read.children[name];
        QCOMPARE(y.games.size(), x.games.size());
        for (qsizetype g = 0; g < x.games.size(); ++g)
            QVERIFY(x.games[g].right == y.games[g].right && x.games[g].wrong == y.games[g].wrong);
        for (int f = 1; f <= 10; ++f) {
            QCOMPARE(y.fact(2, f).answers, x.fact(2, f).answers);
            QCOMPARE(y.fact(2, f).state, x.fact(2, f).state);
            QCOMPARE(y.fact(2, f).timeline.size(), x.fact(2, f).timeline.size());
        }
    }
    QCOMPARE(read.children[u"bea\r\ntrice"_s].games.size(), 8);
}

void TestStorico::missingFileAndFolderInItsPlace()
{
    const HistorySummary missing = readHistory(m_tmp.filePath(u"nessuno.csv"_s));
    QVERIFY(!missing.exists);
    QVERIFY(missing.names.isEmpty());
    const QString folder = m_tmp.filePath(u"cartella.csv"_s);
    QVERIFY(QDir().mkpath(folder));
    const HistorySummary notAFile = readHistory(folder);
    QVERIFY(notAFile.exists);
    QCOMPARE(notAFile.entries, 0);
    QVERIFY(!notAFile.error.isEmpty());
}

// A class folder read as one class, and followed while open: appended lines, a new file, a
// file cut short and a file replaced.
void TestStorico::classFolderReadAndFollowed()
{
    const QString folder = m_tmp.filePath(u"aula"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString pc1 = folder + u"/storico-pc1-aula.csv"_s;
    const QString pc2 = folder + u"/storico-pc2-aula.csv"_s;
    const QString pc3 = folder + u"/storico-pc3-aula.csv"_s;
    // Anna played one game on each computer, and a game whose lines went to both; the CR-only
    // file and a file that is no history are read too.
    const QByteArray first = line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", "Anna", 2, true, 1, 2, 900);
    const QByteArray split1 =
        line("2026-12-08T10:00:00+01:00", "2026-12-08T10:00:05+01:00", "Anna", 3, true, 1, 2, 900);
    const QByteArray split2 = line("2026-12-08T09:00:00Z", "2026-12-08T09:00:09Z", "anna", 4, false, 1, 2, 900);
    QByteArray second = header + line("2026-12-09T10:00:00+01:00", "2026-12-09T10:00:05+01:00", "ANNA ", 5, true, 1)
                        + split2;
    second.replace("\r\n", "\r");
    QVERIFY(writeFile(pc1, header + first + split1));
    QVERIFY(writeFile(pc2, second));
    QVERIFY(writeFile(folder + u"/altro.csv"_s, "x;y\r\n"));
    QVERIFY(writeFile(folder + u"/storico-rotto.csv"_s, "x;y\r\n"));

    QCOMPARE(historyFilesIn(folder), (QStringList{pc1, pc2, folder + u"/storico-rotto.csv"_s}));
    const HistorySummary once = readHistoryFiles({folder});
    HistoryFollower follower({folder});
    const HistorySummary followed = follower.refresh();
    for (const HistorySummary &s : {once, followed}) {
        QVERIFY(s.exists && !s.notHistory && s.error.isEmpty());
        QCOMPARE(s.entries, 4);
        QCOMPARE(s.skipped, 1);
        QCOMPARE(s.names, QStringList{u"anna"_s});
        const ChildReport &anna = s.children[u"anna"_s];
        QCOMPARE(anna.name, u"ANNA"_s);
        QCOMPARE(anna.games.size(), 3);
        QVERIFY(anna.games[1].right == 1 && anna.games[1].wrong == 1);
    }

    // Appended lines, one of them still without its line ending, and a new file.
    QVERIFY(appendFile(pc1, line("2026-12-10T10:00:00+01:00", "2026-12-10T10:00:05+01:00", "Luca", 2, true, 1)
                                + "2026-12-10T10:00:00+01:00;2026-12-10"));
    QVERIFY(writeFile(pc3, header + line("2026-12-10T11:00:00+01:00", "2026-12-10T11:00:05+01:00", "Bea", 2, true, 1)));
    HistorySummary now = follower.refresh();
    QCOMPARE(now.entries, 6);
    QCOMPARE(now.skipped, 1);
    QCOMPARE(shownNames(now), (QStringList{u"ANNA"_s, u"Bea"_s, u"Luca"_s}));
    QVERIFY(appendFile(pc1, "T10:00:09+01:00;Luca;3;6;1;1;2;\r\n"));
    QCOMPARE(follower.refresh().entries, 7);
    // A line torn inside a quoted name holds back none of the lines appended after it.
    QVERIFY(appendFile(pc1, "2026-12-10T10:00:00+01:00;2026-12-10T10:00:10+01:00;\"Luca; L\r\n"
                                + line("2026-12-10T10:00:00+01:00", "2026-12-10T10:00:11+01:00", "Luca", 5, true, 1)));
    now = follower.refresh();
    QVERIFY(now.entries == 8 && now.skipped == 2);

    // Only the appended bytes are read: a change before them goes unseen until the file is
    // cut short or replaced.
    QFile file(pc1);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(header.size()) && file.write("X") == 1);
    file.close();
    QVERIFY(appendFile(pc1, line("2026-12-10T10:00:00+01:00", "2026-12-10T10:00:20+01:00", "Luca", 4, true, 1)));
    now = follower.refresh();
    QVERIFY(now.entries == 9 && now.skipped == 2);
    QCOMPARE(readHistoryFiles({folder}).skipped, 3);

    QVERIFY(QFile::resize(pc1, header.size() + first.size()));
    now = follower.refresh();
    QVERIFY(now.entries == 3 && now.skipped == 2);  // the changed line is read now, the torn one gone
    QCOMPARE(shownNames(now), (QStringList{u"ANNA"_s, u"Bea"_s}));

    QVERIFY(writeFile(folder + u"/nuovo.tmp"_s, header + split1));
    QVERIFY(QFile::remove(pc1) && QFile::rename(folder + u"/nuovo.tmp"_s, pc1));
    now = follower.refresh();
    QVERIFY(now.entries == 4 && now.skipped == 1);
    QCOMPARE(now.children[u"anna"_s].games.size(), 2);

    // A folder out of reach for now keeps what was read of it, and says why.
    if (::geteuid() != 0) {
        QVERIFY(QFile::setPermissions(folder, {}));
        now = follower.refresh();
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(now.entries == 4 && now.error.contains(pc1));
        QVERIFY(follower.refresh().error.isEmpty());
    }

    // A file alone that is no history says so.
    follower.setPaths({folder + u"/storico-rotto.csv"_s});
    now = follower.refresh();
    QVERIFY(now.exists && now.notHistory && now.entries == 0 && now.names.isEmpty());
}

// Names joined by a teacher, in a class followed while they are joined and separated: a
// child's answers move with them, and no history file changes.
void TestStorico::joinedNamesCountAsOneChild()
{
    const QString folder = m_tmp.filePath(u"uniti"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString pc = folder + u"/storico-pc1.csv"_s;
    const QByteArray history = header
        + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", "Marco", 2, true, 1, 2, 900)
        + line("2026-12-08T10:00:00+01:00", "2026-12-08T10:00:05+01:00", "marcp", 2, false, 1, 2, 900)
        + line("2026-12-08T10:00:00+01:00", "2026-12-08T10:00:09+01:00", "Marcp ", 3, true, 1, 2, 900)
        + line("2026-12-09T10:00:00+01:00", "2026-12-09T10:00:05+01:00", "Mrco", 2, true, 1, 2, 900)
        + line("2026-12-09T11:00:00+01:00", "2026-12-09T11:00:05+01:00", "Zeno", 2, true, 1, 2, 900);
    QVERIFY(writeFile(pc, history));
    const QString joinsFile = joinsFileIn(folder);
    HistoryFollower follower({folder}, joinsFile);
    QCOMPARE(shownNames(follower.refresh()), (QStringList{u"Marco"_s, u"Marcp"_s, u"Mrco"_s, u"Zeno"_s}));

    // Marcp, then Mrco (through a join of Mrco to Marcp), count as Marco; a circle and a
    // damaged line written by hand are left out, and the damage counted.
    NameJoins joins;
    joins.join(u"Marcp"_s, u"Marco"_s);
    joins.join(u" mrco"_s, u"MARCP"_s);
    QVERIFY(writeJoins(joinsFile, joins).isEmpty());
    QVERIFY(appendFile(joinsFile, "Zeno;Ugo\r\nUgo;Zeno\r\nA;B;C\r\n"));
    HistorySummary now = follower.refresh();
    QCOMPARE(shownNames(now), (QStringList{u"Marco"_s, u"Zeno"_s}));
    const ChildReport marco = now.children[u"marco"_s];
    QCOMPARE(marco.joined, (QStringList{u"Marcp"_s, u"Mrco"_s}));
    QCOMPARE(marco.games.size(), 3);
    QVERIFY(marco.fact(2, 2).answers == 3 && marco.fact(2, 2).right == 2);
    QCOMPARE(now.entries, 5);
    QCOMPARE(now.skippedIn, (QMap<QString, qint64>{{joinsFile, 1}}));
    QCOMPARE(now.joins.resolve(childKey(u"MRCO"_s)), u"marco"_s);
    QCOMPARE(readHistoryFiles({folder}, joinsFile).children[u"marco"_s].joined.size(), 2);

    // Separated: each name is a child again; the history is as it was.
    QVERIFY(joins.separate(u"marco"_s));
    QVERIFY(writeJoins(joinsFile, joins).isEmpty());
    QCOMPARE(shownNames(follower.refresh()), (QStringList{u"Marco"_s, u"Marcp"_s, u"Mrco"_s, u"Zeno"_s}));
    QFile file(pc);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), history);
}

void TestStorico::joinsFileIsWrittenSafely_data()
{
    QTest::addColumn<QString>("inPlace");  // what stands at the name: "", "file", "link", "folder", "other's"
    QTest::addColumn<QString>("refused");  // the reason said, "" when written
    QTest::newRow("a new file") << QString() << QString();
    QTest::newRow("this account's file replaced") << u"file"_s << QString();
    QTest::newRow("a symbolic link is not followed") << u"link"_s << u"collegamento simbolico"_s;
    QTest::newRow("a folder in its place") << u"folder"_s << u"non è un file"_s;
    QTest::newRow("another account's file is not replaced") << u"other's"_s << u"un altro utente"_s;
}

void TestStorico::joinsFileIsWrittenSafely()
{
    QFETCH(QString, inPlace);
    QFETCH(QString, refused);
    QTemporaryDir folder;
    const QString path = joinsFileIn(folder.path());
    const QString target = m_tmp.filePath(u"avvio-della-shell"_s);
    QVERIFY(writeFile(target, "# mine\n"));
    if (inPlace == u"file" || inPlace == u"other's")
        QVERIFY(writeFile(path, "nome;unito_a\r\nA;B\r\n"));
    if (inPlace == u"other's") {
        if (::geteuid() != 0)
            QSKIP("giving a file to another account needs root");
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    }
    if (inPlace == u"link")
        QVERIFY(QFile::link(target, path));
    if (inPlace == u"folder")
        QVERIFY(QDir().mkpath(path));

    NameJoins joins;
    joins.join(u"Marcp"_s, u"Marco"_s);
    const QString error = writeJoins(path, joins);
    QVERIFY2(refused.isEmpty() ? error.isEmpty() : error.contains(refused), qPrintable(error));
    QFile mine(target);
    QVERIFY(mine.open(QIODevice::ReadOnly));
    QCOMPARE(mine.readAll(), "# mine\n"_ba);
    if (refused.isEmpty()) {
        const JoinsRead read = readJoins(path);
        QVERIFY(read.error.isEmpty() && read.skipped == 0);
        QCOMPARE(read.joins, joins);
        // Readable by the lab's other accounts, and nothing left beside it.
        QVERIFY(QFileInfo(path).permissions() & QFile::ReadOther);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QString::fromLatin1(joinsFileName)});
    }
}

void TestStorico::logWritesHeaderThenLinesAndMendsATornEnd()
{
    const QString path = m_tmp.filePath(u"storico.csv"_s);
    const HistoryEntry first = entry("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", u"Anna"_s, 2, u"4"_s,
                                     true, 5000);
    const HistoryEntry second = entry("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", u"Anna"_s, 3, u"5"_s,
                                      false, 4000);
    {
        HistoryLog log(path);
        QVERIFY(!QFile::exists(path));  // nothing written before the first answer
        log.append(first);
        QVERIFY(log.flush());
        log.append(second);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QCOMPARE(file.readAll(), header + encodeHistoryLine(first) + encodeHistoryLine(second));

    // A crash cut the last line; the next game starts its lines on a fresh one.
    file.resize(file.size() - 7);
    file.close();
    {
        HistoryLog log(path);
        log.append(first);
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    QVERIFY(after.endsWith(encodeHistoryLine(second).chopped(7) + "\r\n" + encodeHistoryLine(first)));
    const HistorySummary summary = readHistory(path);
    QCOMPARE(summary.entries, 2);
    QCOMPARE(summary.skipped, 1);
}

void TestStorico::ownAnswersCountedOnce_data()
{
    QTest::addColumn<QByteArray>("own");   // this computer's history, after its header
    QTest::addColumn<QByteArray>("copy");  // its copy in the class folder; null: none yet
    QTest::addColumn<qint64>("entries");   // with one answer from another computer
    const auto answer = [](int second, const char *nome) {
        const QByteArray ora = "2026-12-07T10:00:" + QByteArray::number(10 + second) + "+01:00";
        return line("2026-12-07T10:00:00+01:00", ora.constData(), nome, 1 + second % 10, true, 1);
    };
    const QByteArray a = answer(1, "Anna"), b = answer(2, "Anna"), c = answer(3, "Anna");
    const QByteArray earlier = answer(4, "Luca"), reset = answer(5, "Bea");
    QTest::newRow("the copy up to date") << a + b << header + a + b << 3LL;
    QTest::newRow("the copy without the last answers") << a + b + c << header + a << 4LL;
    QTest::newRow("no copy yet") << a + b << QByteArray() << 3LL;
    QTest::newRow("an earlier version's copy: its own answers, then this computer's")
        << a + b << header + earlier + a << 4LL;
    QTest::newRow("a history started anew: the copy keeps the answers of the old one")
        << reset << header + a + b + reset << 4LL;
    QTest::newRow("an old line copied with the table of 2")
        << a.left(a.lastIndexOf(";2;")) + "\r\n" + b << header + a << 3LL;
}

// The class folder and this computer's own history read together count each answer once,
// however far the copy has caught up, and still once after it has.
void TestStorico::ownAnswersCountedOnce()
{
    QFETCH(QByteArray, own);
    QFETCH(QByteArray, copy);
    QFETCH(qint64, entries);
    const QTemporaryDir dir;
    const QString ownPath = dir.filePath(u"storico.csv"_s);
    const QString folder = dir.filePath(u"classe"_s);
    const QString copyPath = folder + u'/' + classHistoryFileName();
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(ownPath, header + own));
    QVERIFY(copy.isNull() || writeFile(copyPath, copy));
    QVERIFY(writeFile(folder + u"/storico-altro-pc.csv"_s,
                      header + line("2026-12-07T11:00:00+01:00", "2026-12-07T11:00:09+01:00", "Eva", 2, true, 1)));
    const HistorySources sources = classSources(folder, ownPath);
    QCOMPARE(readHistoryFiles(sources).entries, entries);
    HistoryFollower follower(sources);
    QCOMPARE(follower.refresh().entries, entries);
    QVERIFY(ClassCopy(ownPath, copyPath).catchUp());
    QCOMPARE(follower.refresh().entries, entries);
    QCOMPARE(readHistoryFiles(sources).entries, entries);
}

// A class folder that goes out of reach keeps what was read of it, and says since when; it
// is followed again once it is back.
void TestStorico::classFolderOutOfReachKeepsWhatWasRead()
{
    const QTemporaryDir dir;
    const QString folder = dir.filePath(u"classe"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString pc = folder + u"/storico-pc1-aula.csv"_s;
    QVERIFY(writeFile(pc, header + line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", "Anna", 2, true, 1)));
    HistoryFollower follower(classSources(folder, dir.filePath(u"storico.csv"_s)));
    QCOMPARE(follower.refresh().entries, 1);
    QVERIFY(QDir().rename(folder, folder + u".via"_s));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    HistorySummary away = follower.refresh();
    QVERIFY(away.entries == 1 && away.names == QStringList{u"anna"_s});
    QVERIFY(away.outOfReach.isValid() && away.outOfReach >= before);
    QCOMPARE(follower.refresh().outOfReach, away.outOfReach);
    QVERIFY(QDir().rename(folder + u".via"_s, folder));
    QVERIFY(appendFile(pc, line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:09+01:00", "Anna", 3, true, 1)));
    const HistorySummary back = follower.refresh();
    QVERIFY(back.entries == 2 && !back.outOfReach.isValid());

    // Started while the folder is away: nothing of it, and it says so.
    HistoryFollower late(classSources(dir.filePath(u"nessuna"_s), dir.filePath(u"storico.csv"_s)));
    const HistorySummary never = late.refresh();
    QVERIFY(never.outOfReach.isValid() && never.entries == 0);
}

// A history that refuses answers for a while (a folder in its place, as a full disk would)
// loses none of them: they wait, in order, and go in when it takes them again; each change
// said once. What still waits at the end is counted on stderr.
void TestStorico::logKeepsAnswersThroughAFailure()
{
    const QString path = m_tmp.filePath(u"storico-attesa.csv"_s);
    QVERIFY(QDir().mkpath(path));
    QList<HistoryEntry> answers;
    for (int i = 1; i <= 4; ++i)
        answers.append(entry("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", u"Anna"_s, i, u"4"_s, true,
                             1000 * i));
    Capture err(STDERR_FILENO);
    {
        HistoryLog log(path);
        log.append(answers[0]);
        QVERIFY(!log.flush());
        log.append(answers[1]);
        log.append(answers[2]);
        QVERIFY(!log.flush());
        QVERIFY(QDir(path).removeRecursively());
        log.append(answers[3]);
        QVERIFY(log.flush());
    }
    {
        HistoryLog lost(m_tmp.path());
        lost.append(answers[0]);
        lost.append(answers[1]);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray expected = header;
    for (const HistoryEntry &e : answers)
        expected += encodeHistoryLine(e);
    QCOMPARE(file.readAll(), expected);
    const QByteArray said = err.text();
    QCOMPARE(said.count("impossibile scrivere lo storico delle risposte"), 2);
    QCOMPARE(said.count("lo storico delle risposte si scrive di nuovo"), 1);
    QVERIFY2(said.contains("2 risposte non scritte nello storico (" + QFile::encodeName(m_tmp.path())), said.constData());
}

// Another game holds the lock of an old file and appends to it while two logs wait to
// append (one upgrades the file, the other must then append to the new file, not to the
// replaced one): the new file holds the old lines, the other game's, then the two logs'.
void TestStorico::upgradeKeepsAnotherGamesAnswer()
{
    const QString path = m_tmp.filePath(u"vecchio.csv"_s);
    const QByteArray old = "2026-12-06T10:00:00+01:00;2026-12-06T10:00:05+01:00;Anna;3;6;1;5000\r\n";
    const QByteArray theirs = encodeHistoryLine(entry("2026-12-07T09:00:00+01:00", "2026-12-07T09:00:05+01:00",
                                                      u"Luca"_s, 4, u"8"_s, true, 5000));
    const HistoryEntry ours = entry("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00", u"Eva"_s, 5, u"9"_s,
                                    false, 4000);
    QFile other(path);
    QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Append));
    other.write(oldHistoryHeader + "\r\n"_ba + old);
    other.flush();
    QCOMPARE(::flock(other.handle(), LOCK_EX), 0);
    HistoryLog first(path);
    HistoryLog second(path);
    first.append(ours);
    second.append(ours);
    QVERIFY(!first.flush(300) && !second.flush(0));  // waiting for the lock
    other.write(theirs);
    other.close();
    QVERIFY(first.flush() && second.flush());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), header + old + theirs + encodeHistoryLine(ours) + encodeHistoryLine(ours));
    QCOMPARE(QDir(m_tmp.path()).entryList({u"vecchio*"_s}), QStringList{u"vecchio.csv"_s});
}

void TestStorico::logCopiesToTheClassFolder_data()
{
    QTest::addColumn<QByteArray>("before");  // the copy before the game; null: none
    QTest::addColumn<QString>("plant");      // what stands where the folder or the copy should be
    QTest::addColumn<QByteArray>("after");   // its answers after the game; null: left as it was
    const QByteArray l1 = line("2026-12-06T10:00:00+01:00", "2026-12-06T10:00:05+01:00", "Anna", 3, true, 5000);
    const QByteArray l2 = encodeHistoryLine(copiedAnswers()[0]);
    const QByteArray l3 = encodeHistoryLine(copiedAnswers()[1]);
    const QByteArray earlier = line("2026-12-05T10:00:00+01:00", "2026-12-05T10:00:05+01:00", "Luca", 4, true, 1);
    const QByteArray all = l1 + l2 + l3;
    QTest::newRow("a new copy") << QByteArray() << QString() << all;
    QTest::newRow("a copy up to date before the game") << header + l1 << QString() << all;
    QTest::newRow("an earlier version's copy keeps its answers and gains this computer's")
        << header + earlier << QString() << earlier + all;
    QTest::newRow("a copy whose catch-up was killed inside a line")
        << header + l1 + l2.left(30) << QString() << l1 + l2.left(30) + "\r\n" + l2 + l3;
    QTest::newRow("no folder") << QByteArray() << u"no folder"_s << QByteArray();
    QTest::newRow("a file in the folder's place") << QByteArray() << u"file"_s << QByteArray();
    QTest::newRow("a symbolic link to one of the player's files") << QByteArray() << u"symlink"_s << QByteArray();
    QTest::newRow("a second name of one of the player's files") << QByteArray() << u"hard link"_s << QByteArray();
    QTest::newRow("another account's file") << header + earlier << u"foreign"_s << QByteArray();
}

// Every answer goes into this computer's history; the class folder gets a copy of it, each
// answer once, in order, or is left alone when what stands there is not this account's copy.
void TestStorico::logCopiesToTheClassFolder()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, plant);
    QFETCH(QByteArray, after);
    if (plant == u"foreign" && ::geteuid() != 0)
        QSKIP("giving a file to another account needs root");
    const QTemporaryDir dir;
    const QString own = dir.filePath(u"storico.csv"_s);
    const QString folder = dir.filePath(u"classe"_s);
    const QString copy = folder + u'/' + classHistoryFileName();
    const QString victim = dir.filePath(u"bashrc"_s);
    QVERIFY(writeFile(victim, "export PS1\n"));
    QVERIFY(plant == u"file" ? writeFile(folder, "x") : plant == u"no folder" || QDir().mkpath(folder));
    QVERIFY(before.isNull() || writeFile(copy, before));
    QVERIFY(plant != u"symlink" || QFile::link(victim, copy));
    QVERIFY(plant != u"hard link" || ::link(QFile::encodeName(victim).constData(), QFile::encodeName(copy).constData()) == 0);
    QVERIFY(plant != u"foreign" || ::chown(QFile::encodeName(copy).constData(), 65534, 65534) == 0);
    // This computer's history held the first answer already, and the copy may have had it.
    QVERIFY(writeFile(own, header + line("2026-12-06T10:00:00+01:00", "2026-12-06T10:00:05+01:00", "Anna", 3, true, 5000)));
    Capture err(STDERR_FILENO);
    {
        HistoryLog log(own, folder);
        log.append(copiedAnswers()[0]);
        QCOMPARE(log.flush(), !after.isNull());
        log.append(copiedAnswers()[1]);
    }
    const QByteArray said = err.text();
    QCOMPARE(readHistory(own).entries, 3);
    QFile file(copy);
    QByteArray copied = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (after.isNull()) {
        QCOMPARE(said.count("non accetta la copia dello storico"), 1);
        QCOMPARE(copied, plant == u"symlink" || plant == u"hard link" ? "export PS1\n"_ba : before);
        QCOMPARE(readHistory(victim).entries, 0);
    } else {
        QVERIFY2(said.isEmpty(), said.constData());
        QCOMPARE(copied, header + after);
    }
}

void TestStorico::classFileNameIsSafe_data()
{
    QTest::addColumn<QString>("computer");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << u"aula-3.scuola"_s << u"mario_r"_s << u"storico-aula-3.scuola-mario_r.csv"_s;
    QTest::newRow("separators, spaces, accents")
        << u"pc/1 \\Zoë"_s << u"a:b*"_s << u"storico-pc_1__Zo_-a_b_.csv"_s;
}

void TestStorico::classFileNameIsSafe()
{
    QFETCH(QString, computer);
    QFETCH(QString, user);
    QFETCH(QString, name);
    QCOMPARE(classHistoryFileName(computer, user), name);
}

QTEST_GUILESS_MAIN(TestStorico)
#include "tst_storico.moc"
