// Kills the saving of a record (SIGKILL) at every point between two file operations,
// and at random moments of back-to-back saves, then runs what start-up runs and checks
// that the two record files hold the whole old record or the whole new one. Also makes
// each file operation of a save fail in turn (full disk, I/O error): a save that says it
// succeeded must have stored the new pair, one that fails must leave a whole pair.
// The history of answers goes through the same: appends killed or failing at each of
// their file operations keep every earlier line.
// CRASH_STRIDE=N tries every N-th point only, CRASH_ROUNDS the number of random kills
// (300): the quick run in the test suite sets both.
#include "storico/classcopy.h"
#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QString puntiFile = u"azorpeli.txt"_s;
const QString nomeFile = u"nzorpeli.txt"_s;

struct Pair
{
    QByteArray punti;
    QByteArray nome;
    bool operator==(const Pair &) const = default;
};

Pair stored(const QString &punti, const QString &nome)
{
    return {punti.toLocal8Bit() + "\r\n", nome.toLocal8Bit() + "\r\n"};
}

// A byte array, not QTest::toString's new[] string: QVERIFY2 never frees its message.
QByteArray describe(const Pair &pair)
{
    return "punti=" + pair.punti.toPercentEncoding() + " nome=" + pair.nome.toPercentEncoding();
}

// Whether to try the point-th of count kill (or failure) points: every one, or with
// CRASH_STRIDE=N every N-th and the last, starting from a different point in each data
// row so that a short run still reaches every phase of a save across the rows.
bool tried(qint64 point, qint64 count)
{
    const qint64 stride = qMax(1, qEnvironmentVariableIntValue("CRASH_STRIDE"));
    qint64 offset = 0;
    for (const char *c = QTest::currentDataTag(); c && *c; ++c)
        offset += uchar(*c);
    return point == count || (point + offset) % stride == 0;
}

} // namespace

Q_DECLARE_METATYPE(Pair)

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void killedSaveLeavesOldOrNewPair_data();
    void killedSaveLeavesOldOrNewPair();
    void killsDuringBackToBackSaves();
    void failedOperationLeavesAWholePair_data();
    void failedOperationLeavesAWholePair();
    void historyKeepsEarlierLines_data();
    void historyKeepsEarlierLines();
    void classCopyGetsEachAnswerOnce_data();
    void classCopyGetsEachAnswerOnce();

private:
    struct Run
    {
        QProcess::ExitStatus status = QProcess::NormalExit;
        int code = 0;
        QByteArray out;
        QByteArray err;
    };
    Run run(const QStringList &args, qint64 killAt = 0, bool noTmpfile = false, qint64 *operations = nullptr,
            qint64 failAt = 0, int failErrno = 0);
    void putPair(const QString &dir, const Pair &pair);
    Pair readPair(const QString &dir);
    // Names left in the folder besides the two record files; prepared copies fail the
    // test, other temporary files are counted.
    bool onlyRecordFiles(const QString &dir);
    void copyFolder(const QString &from, const QString &to);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_watched;  // the folder the shim watches; each case works inside it
    int m_kills = 0;
    int m_litter = 0;
};

void TestCrash::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_watched = m_tmp->path() + u"/quizzolo"_s;
    QVERIFY(QDir().mkpath(m_watched));
}

void TestCrash::cleanupTestCase()
{
    qInfo("%d kills survived; %d temporary files left behind by killed saves", m_kills, m_litter);
}

TestCrash::Run TestCrash::run(const QStringList &args, qint64 killAt, bool noTmpfile, qint64 *operations,
                              qint64 failAt, int failErrno)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString countFile = m_tmp->path() + u"/operations"_s;
    QFile::remove(countFile);
    if (killAt > 0 || noTmpfile || operations || failAt > 0) {
        env.insert(u"LD_PRELOAD"_s, QStringLiteral(KILLSHIM_LIBRARY));
        env.insert(u"KILLSHIM_DIR"_s, m_watched);
        env.insert(u"KILLSHIM_AT"_s, QString::number(killAt));
        env.insert(u"KILLSHIM_COUNT"_s, countFile);
        if (noTmpfile)
            env.insert(u"KILLSHIM_NO_TMPFILE"_s, u"1"_s);
        if (failAt > 0) {
            env.insert(u"KILLSHIM_FAIL_AT"_s, QString::number(failAt));
            env.insert(u"KILLSHIM_ERRNO"_s, QString::number(failErrno));
        }
    }
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(CRASH_WRITER), args);
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        result.status = QProcess::CrashExit;
        result.code = -1;
        return result;
    }
    result.status = process.exitStatus();
    result.code = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (operations) {
        QFile count(countFile);
        *operations = count.open(QIODevice::ReadOnly) ? count.readAll().trimmed().toLongLong() : -1;
    }
    return result;
}

void TestCrash::putPair(const QString &dir, const Pair &pair)
{
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    for (const auto &[name, content] : {std::pair{puntiFile, pair.punti}, std::pair{nomeFile, pair.nome}}) {
        QFile file(dir + u'/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
    }
}

Pair TestCrash::readPair(const QString &dir)
{
    auto content = [&](const QString &name) {
        QFile file(dir + u'/' + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<mancante>");
    };
    return {content(puntiFile), content(nomeFile)};
}

bool TestCrash::onlyRecordFiles(const QString &dir)
{
    const QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (name == puntiFile || name == nomeFile)
            continue;
        if (name.endsWith(u".nuovo"_s)) {
            qWarning("prepared copy left after recovery: %s", qPrintable(name));
            return false;
        }
        ++m_litter;
        QFile::remove(dir + u'/' + name);
    }
    return true;
}

void TestCrash::copyFolder(const QString &from, const QString &to)
{
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const QString &name : QDir(from).entryList(QDir::Files | QDir::Hidden))
        QFile::copy(from + u'/' + name, to + u'/' + name);
}

void TestCrash::killedSaveLeavesOldOrNewPair_data()
{
    QTest::addColumn<Pair>("before");
    QTest::addColumn<QString>("punti");
    QTest::addColumn<QString>("nome");
    QTest::addColumn<bool>("noTmpfile");

    QTest::newRow("record beats a record") << stored(u"3"_s, u"Anna"_s) << u"5"_s << u"Luca"_s << false;
    QTest::newRow("first record over the empty files") << Pair{} << u"1"_s << u"Amico"_s << false;
    QTest::newRow("accented name longer than the old one")
        << stored(u"12"_s, u"Zoë"_s) << u"13"_s << u"Maria Lucìa dell'Àquila"_s << false;
    QTest::newRow("file system without unnamed temporary files")
        << stored(u"3"_s, u"Anna"_s) << u"5"_s << u"Luca"_s << true;
}

// For every K: kill the save before its K-th file operation, then kill the recovery
// that follows before each of its own operations, and finally let a recovery finish.
void TestCrash::killedSaveLeavesOldOrNewPair()
{
    QFETCH(Pair, before);
    QFETCH(QString, punti);
    QFETCH(QString, nome);
    QFETCH(bool, noTmpfile);
    const Pair after = stored(punti, nome);
    const QString dir = m_watched + u"/dati"_s;
    const QString snapshot = m_tmp->path() + u"/istantanea"_s;
    const QStringList save{u"save"_s, dir, punti, nome};
    const QStringList recover{u"recover"_s, dir};

    putPair(dir, before);
    qint64 operations = 0;
    Run whole = run(save, 0, noTmpfile, &operations);
    QCOMPARE(whole.status, QProcess::NormalExit);
    QVERIFY2(whole.code == 0, whole.err.constData());
    QVERIFY2(readPair(dir) == after, describe(readPair(dir)).constData());
    QVERIFY2(operations > 0, "the preload library saw no file operation");

    for (qint64 k = 1; k <= operations; ++k) {
        if (!tried(k, operations))
            continue;
        const QByteArray where = "save killed before operation " + QByteArray::number(k);
        putPair(dir, before);
        Run killed = run(save, k, noTmpfile);
        QVERIFY2(killed.status == QProcess::CrashExit, where.constData());
        ++m_kills;
        copyFolder(dir, snapshot);

        qint64 recoverySteps = 0;
        Run counting = run(recover, 0, noTmpfile, &recoverySteps);
        QVERIFY2(counting.status == QProcess::NormalExit && counting.code == 0, (where + counting.err).constData());
        const Pair recovered = readPair(dir);
        QVERIFY2(recovered == before || recovered == after, (where + ": " + describe(recovered)).constData());
        QVERIFY2(onlyRecordFiles(dir), where.constData());

        for (qint64 j = 1; j <= recoverySteps; ++j) {
            if (!tried(j, recoverySteps))
                continue;
            const QByteArray twice = where + ", recovery killed before operation " + QByteArray::number(j);
            copyFolder(snapshot, dir);
            Run killedAgain = run(recover, j, noTmpfile);
            QVERIFY2(killedAgain.status == QProcess::CrashExit, twice.constData());
            ++m_kills;
            Run finished = run(recover);
            QVERIFY2(finished.status == QProcess::NormalExit && finished.code == 0, (twice + finished.err).constData());
            const Pair pair = readPair(dir);
            QVERIFY2(pair == recovered, (twice + ": " + describe(pair)).constData());
            QVERIFY2(onlyRecordFiles(dir), twice.constData());
        }
    }
}

// Saves run back to back (save i stores "i" and "Nome i") and are killed after a random
// delay, hundreds of times; after the recovery the pair is one that was being saved.
void TestCrash::killsDuringBackToBackSaves()
{
    const QString dir = m_watched + u"/dati"_s;
    putPair(dir, stored(u"0"_s, u"Nome 0"_s));
    const int rounds = qEnvironmentVariableIntValue("CRASH_ROUNDS") > 0 ? qEnvironmentVariableIntValue("CRASH_ROUNDS")
                                                                          : 300;
    QRandomGenerator random(20240611);
    int landedInSaves = 0;
    for (int round = 0; round < rounds; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(CRASH_WRITER), {u"saves"_s, dir, u"1000000"_s});
        QVERIFY(saver.waitForStarted());
        // Wait for the first save so that the kill lands among saves, not in start-up.
        QVERIFY(saver.waitForReadyRead(10000));
        QTest::qSleep(random.bounded(1, 40));
        ::kill(pid_t(saver.processId()), SIGKILL);
        QVERIFY(saver.waitForFinished(10000));
        QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
        ++m_kills;

        int lastSaved = 0;
        for (const QByteArray &line : saver.readAllStandardOutput().split('\n')) {
            if (line.startsWith("saved "))
                lastSaved = line.mid(6).toInt();
        }
        QVERIFY(lastSaved >= 1);

        Run recovery = run({u"recover"_s, dir});
        QVERIFY2(recovery.status == QProcess::NormalExit && recovery.code == 0, recovery.err.constData());
        const Pair pair = readPair(dir);
        const Pair done = stored(QString::number(lastSaved), u"Nome %1"_s.arg(lastSaved));
        const Pair next = stored(QString::number(lastSaved + 1), u"Nome %1"_s.arg(lastSaved + 1));
        const QByteArray where = "round " + QByteArray::number(round) + ", last save finished "
                                 + QByteArray::number(lastSaved) + ": ";
        QVERIFY2(pair == done || pair == next, (where + describe(pair)).constData());
        QVERIFY2(onlyRecordFiles(dir), where.constData());
        if (pair == next)
            ++landedInSaves;
    }
    qInfo("%d random kills; %d of them after the new pair was in place but before the save returned",
          rounds, landedInSaves);
}

void TestCrash::failedOperationLeavesAWholePair_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("noTmpfile");
    QTest::newRow("disk full") << ENOSPC << false;
    QTest::newRow("disk full, named temporary files") << ENOSPC << true;
    QTest::newRow("input/output error") << EIO << false;
}

void TestCrash::failedOperationLeavesAWholePair()
{
    QFETCH(int, error);
    QFETCH(bool, noTmpfile);
    const Pair before = stored(u"3"_s, u"Anna"_s);
    const Pair after = stored(u"5"_s, u"Luca"_s);
    const QString dir = m_watched + u"/dati"_s;
    const QStringList save{u"save"_s, dir, u"5"_s, u"Luca"_s};

    putPair(dir, before);
    qint64 operations = 0;
    run(save, 0, noTmpfile, &operations);
    QVERIFY2(operations > 0, "the preload library saw no file operation");

    for (qint64 k = 1; k <= operations; ++k) {
        if (!tried(k, operations))
            continue;
        const QByteArray where = "operation " + QByteArray::number(k) + " failed";
        putPair(dir, before);
        Run failed = run(save, 0, noTmpfile, nullptr, k, error);
        QVERIFY2(failed.status == QProcess::NormalExit, where.constData());
        if (failed.code == 0) {
            // The save said it succeeded: the new record must be there, whole.
            QVERIFY2(readPair(dir) == after, (where + ", save reported success: " + describe(readPair(dir))).constData());
        }
        Run recovery = run({u"recover"_s, dir});
        QVERIFY2(recovery.status == QProcess::NormalExit && recovery.code == 0, (where + recovery.err).constData());
        const Pair pair = readPair(dir);
        QVERIFY2(pair == before || pair == after, (where + ": " + describe(pair)).constData());
        QVERIFY2(onlyRecordFiles(dir), where.constData());
    }
}

void TestCrash::historyKeepsEarlierLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("failure");  // 0: killed; else the errno of the failing operation
    const QByteArray header = QByteArray(historyHeader) + "\r\n";
    const QByteArray earlier = header
                               + "2026-12-06T10:00:00+01:00;2026-12-06T10:00:05+01:00;Anna;3;6;1;5000\r\n"
                                 "2026-12-06T10:00:00+01:00;2026-12-06T10:00:09+01:00;\"A;\"\"n\r\nna\";4;7;0;4000\r\n";
    const QByteArray torn = earlier + "2026-12-06T10:00:00+01:00;2026-12-06T10:00:12+01:00;An";
    // A file of the old format, upgraded to the new header by the first answer.
    const QByteArray old = oldHistoryHeader + "\r\n"_ba + torn.mid(header.size());
    QTest::newRow("killed, new file") << QByteArray() << 0;
    QTest::newRow("killed, earlier lines") << earlier << 0;
    QTest::newRow("killed, last line torn by an earlier crash") << torn << 0;
    QTest::newRow("disk full, earlier lines") << earlier << ENOSPC;
    QTest::newRow("input/output error, last line torn") << torn << EIO;
    QTest::newRow("killed, old header, last line torn") << old << 0;
    QTest::newRow("disk full, old header, last line torn") << old << ENOSPC;
}

// Three answers appended; for each file operation K: the process killed before it, or
// the operation failing. Earlier lines stay as they were, each once, after the header
// (the old one, or the new one when the file was upgraded); the lines that were reported
// appended are read back, nothing else is lost but the torn line, and the next game's
// answer is read too, after the new header and nothing left beside the file. A failure is
// said once on stderr and the writer goes on to the end.
void TestCrash::historyKeepsEarlierLines()
{
    QFETCH(QByteArray, before);
    QFETCH(int, failure);
    const QString dir = m_watched + u"/dati"_s;
    const QString path = dir + u'/' + QLatin1String(historyFileName);
    const HistorySummary old = summarizeHistory(before);
    const QByteArray upgraded = historyHeader + "\r\n"_ba + before.mid(before.indexOf('\n') + 1);
    const QStringList append{u"history"_s, dir, u"3"_s};
    auto contentOf = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<mancante>");
    };
    auto prepare = [&] {
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        if (!before.isEmpty()) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(before) != before.size())
                qFatal("cannot write %s", qPrintable(path));
        }
    };

    prepare();
    qint64 operations = 0;
    Run whole = run(append, 0, false, &operations);
    QVERIFY2(whole.status == QProcess::NormalExit && whole.code == 0, whole.err.constData());
    QCOMPARE(whole.out.count("appended"), 3);
    QCOMPARE(readHistory(path).entries, old.entries + 3);
    QVERIFY2(operations >= 5, "the preload library saw too few file operations");

    for (qint64 k = 1; k <= operations; ++k) {
        const QByteArray where = (failure ? "operation " : "killed before operation ") + QByteArray::number(k);
        prepare();
        Run r = failure ? run(append, 0, false, nullptr, k, failure) : run(append, k);
        if (failure) {
            QVERIFY2(r.status == QProcess::NormalExit && r.code == 0, (where + r.err).constData());
            QVERIFY2(r.err.count("impossibile scrivere lo storico") <= 1, (where + r.err).constData());
            QVERIFY2(r.err.count("nuovo formato") <= 1, (where + r.err).constData());
        } else {
            QVERIFY2(r.status == QProcess::CrashExit, where.constData());
            ++m_kills;
        }
        const qint64 reported = r.out.count("appended");
        const QByteArray content = contentOf();
        QVERIFY2(content.startsWith(before) || content.startsWith(upgraded), where.constData());
        const HistorySummary after = readHistory(path);
        QVERIFY2(after.entries >= old.entries + reported && after.entries <= old.entries + 3, where.constData());
        QVERIFY2(after.skipped <= old.skipped + 1, where.constData());

        Run next = run({u"history"_s, dir, u"1"_s});
        QVERIFY2(next.status == QProcess::NormalExit && next.code == 0, (where + next.err).constData());
        const HistorySummary later = readHistory(path);
        QVERIFY2(later.entries == after.entries + 1 && later.skipped == after.skipped,
                 (where + ", then one more answer").constData());
        QVERIFY2(contentOf().startsWith(upgraded), (where + ", then one more answer").constData());
        QVERIFY2(QDir(dir).entryList(QDir::Files | QDir::Hidden) == QStringList{QLatin1String(historyFileName)},
                 (where + ", then one more answer").constData());
    }
}

void TestCrash::classCopyGetsEachAnswerOnce_data()
{
    QTest::addColumn<int>("answers");     // in this computer's history
    QTest::addColumn<int>("copied");      // of them already in the copy; -1: no copy yet
    QTest::addColumn<int>("earlier");     // answers of an earlier version's copy, before them
    QTest::addColumn<int>("failure");     // 0: killed; else the errno of the failing operation
    QTest::newRow("killed, a new copy") << 3 << -1 << 0 << 0;
    QTest::newRow("killed, an earlier version's copy") << 3 << 0 << 2 << 0;
    QTest::newRow("killed, a copy lacking the last answers, several pieces") << 2500 << 400 << 0 << 0;
    QTest::newRow("disk full, several pieces") << 2500 << 400 << 2 << ENOSPC;
    QTest::newRow("input/output error, a new copy") << 3 << -1 << 0 << EIO;
}

// The copy in a class folder brought up to date, killed before (or failing at) each of its
// file operations in the folder, then brought up to date again: it holds the earlier
// version's answers and this computer's, each once and in order, and nothing else is left
// in the folder.
void TestCrash::classCopyGetsEachAnswerOnce()
{
    QFETCH(int, answers);
    QFETCH(int, copied);
    QFETCH(int, earlier);
    QFETCH(int, failure);
    const QByteArray header = QByteArray(historyHeader) + "\r\n";
    const QString dir = m_tmp->path() + u"/dati"_s;
    const QString folder = m_watched + u"/classe"_s;
    const QString copyPath = folder + u'/' + classHistoryFileName();
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 0), Qt::OffsetFromUTC, 3600);
    const auto answer = [&](int i, const QString &nome) {
        return encodeHistoryLine({start, start.addSecs(i), nome, 1 + i % 10, QString::number(i), i % 3 != 0, i, 2, i});
    };
    QByteArray own = header;
    QByteArray before = header;
    QList<QByteArray> expected;
    for (int i = 0; i < earlier; ++i) {
        before += answer(i, u"Luca"_s);
        expected.append(answer(i, u"Luca"_s));
    }
    for (int i = 0; i < answers; ++i) {
        own += answer(i, u"Anna \"la tigre\""_s);
        expected.append(answer(i, u"Anna \"la tigre\""_s));
        if (i < copied)
            before += answer(i, u"Anna \"la tigre\""_s);
    }
    auto prepare = [&] {
        QDir(dir).removeRecursively();
        QDir(folder).removeRecursively();
        QDir().mkpath(dir);
        QDir().mkpath(folder);
        QFile file(dir + u'/' + QLatin1String(historyFileName));
        QFile copy(copyPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(own) != own.size()
            || (copied >= 0 && (!copy.open(QIODevice::WriteOnly) || copy.write(before) != before.size())))
            qFatal("cannot prepare %s", qPrintable(dir));
    };
    const QStringList catchUp{u"catchup"_s, dir, folder};

    prepare();
    qint64 operations = 0;
    Run whole = run(catchUp, 0, false, &operations);
    QVERIFY2(whole.status == QProcess::NormalExit && whole.code == 0, whole.err.constData());
    QVERIFY2(operations >= 3, "the preload library saw too few file operations");

    for (qint64 k = 1; k <= operations; ++k) {
        if (!tried(k, operations))
            continue;
        const QByteArray where = (failure ? "operation " : "killed before operation ") + QByteArray::number(k);
        prepare();
        Run r = failure ? run(catchUp, 0, false, nullptr, k, failure) : run(catchUp, k);
        QVERIFY2(failure ? r.status == QProcess::NormalExit : r.status == QProcess::CrashExit, where.constData());
        m_kills += failure ? 0 : 1;
        Run again = run(catchUp);
        QVERIFY2(again.status == QProcess::NormalExit && again.code == 0, (where + again.err).constData());
        QFile copy(copyPath);
        QVERIFY2(copy.open(QIODevice::ReadOnly), where.constData());
        QList<QByteArray> found;
        for (const QByteArray &line : copy.readAll().split('\n')) {
            if (decodeHistoryLine(line.chopped(line.endsWith('\r') ? 1 : 0)))
                found.append(line + '\n');
        }
        QVERIFY2(found == expected, (where + ": " + QByteArray::number(found.size()) + " answers in the copy, "
                                     + QByteArray::number(expected.size()) + " expected").constData());
        QVERIFY2(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                     == QStringList{classHistoryFileName()},
                 where.constData());
    }
}

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
