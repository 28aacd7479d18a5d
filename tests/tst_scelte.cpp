#include "scelte/scelte.h"
#include "storico/joins.h"
#include "storico/storico.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

// Which table each child starts on, wherever the choices are kept.
class TestScelte : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void childStartsOn_data();
    void childStartsOn();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    int m_computers = 0;
};

void TestScelte::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tmp->filePath(u"pc0"_s));
    QVERIFY(QDir().mkpath(m_tmp->filePath(u"classe"_s)));
}

void TestScelte::childStartsOn_data()
{
    // Steps, in turn: "Lucia 7" the child chooses in the game; "Lucia 7 R" with the practice;
    // "classe 6 R" / "bambini Lucia,Eva 5" assigned in the notebook; "file Lucia TEXT" the
    // child's file written by hand; "via" / "torna" the folder away and back; "altro pc"
    // the next reading on another computer of the lab; "gioca Lucia" a game starts here;
    // "unisci Marcp Marco" the teacher joins two names.
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("child");
    QTest::addColumn<int>("tabellina");
    QTest::addColumn<bool>("ripasso");
    QTest::addColumn<int>("said");  // lines on stderr

    QTest::newRow("a child never seen plays the table of 2") << false << QStringList() << u"Eva"_s << 2 << false << 0;
    QTest::newRow("a child's choice is that child's only") << false << QStringList{u"Lucia 7 R"_s} << u"Eva"_s << 2
                                                           << false << 0;
    QTest::newRow("a child's choice, spelt another way") << false << QStringList{u" lucia  7"_s} << u"LUCIA"_s << 7
                                                         << false << 0;
    QTest::newRow("the class's table on this computer") << false << QStringList{u"classe 4 R"_s} << u"Eva"_s << 4
                                                        << true << 0;
    QTest::newRow("in the folder, a child's choice is that child's only")
        << true << QStringList{u"Lucia 7 R"_s} << u"Eva"_s << 2 << false << 0;
    QTest::newRow("another computer of the class starts the child on its choice")
        << true << QStringList{u"Lucia 7 R"_s, u"altro pc"_s} << u"Lucia"_s << 7 << true << 0;
    QTest::newRow("the class's table for a child who has not played yet")
        << true << QStringList{u"classe 6 R"_s, u"altro pc"_s} << u"Eva"_s << 6 << true << 0;
    QTest::newRow("the class's table clears the children's own")
        << true << QStringList{u"Lucia 7"_s, u"classe 6"_s} << u"Lucia"_s << 6 << false << 0;
    QTest::newRow("chosen children's own table over the class's")
        << true << QStringList{u"classe 6"_s, u"bambini Lucia,Eva 5 R"_s} << u"Eva"_s << 5 << true << 0;
    QTest::newRow("a damaged file is ignored") << true << QStringList{u"classe 6"_s, u"file Lucia tabellina=sette"_s}
                                               << u"Lucia"_s << 6 << false << 1;
    QTest::newRow("an impossible table is ignored") << true << QStringList{u"file Lucia tabellina=11"_s} << u"Lucia"_s
                                                    << 2 << false << 1;
    QTest::newRow("the folder away: the choices last read here")
        << true << QStringList{u"Lucia 7 R"_s, u"gioca Lucia"_s, u"via"_s} << u"Lucia"_s << 7 << true << 0;
    QTest::newRow("a choice made with the folder away reaches it at the next game")
        << true << QStringList{u"via"_s, u"Lucia 9"_s, u"torna"_s, u"gioca Lucia"_s, u"altro pc"_s} << u"Lucia"_s
        << 9 << false << 1;
    QTest::newRow("a joined name starts on its child's choice")
        << true << QStringList{u"unisci Marcp Marco"_s, u"Marco 7"_s} << u"Marcp"_s << 7 << false << 0;
}

void TestScelte::childStartsOn()
{
    QFETCH(bool, folder);
    QFETCH(QStringList, steps);
    QFETCH(QString, child);
    QFETCH(int, tabellina);
    QFETCH(bool, ripasso);
    QFETCH(int, said);
    const QString classe = folder ? m_tmp->filePath(u"classe"_s) : QString();
    const QString joins = joinsFileIn(folder ? classe : m_tmp->path());
    Scelte scelte(classe, joins);
    QTemporaryFile err;
    QVERIFY(err.open());
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(err.handle(), STDERR_FILENO);
    for (const QString &step : std::as_const(steps)) {
        const QStringList w = step.split(u' ', Qt::SkipEmptyParts);
        const Scelta scelta{w.value(1) == u"tutte" ? 0 : w.value(1).toInt(), w.value(2) == u"R"};
        if (w[0] == u"classe") {
            QVERIFY(scelte.assegnaClasse(scelta));
        } else if (w[0] == u"bambini") {
            const Scelta chosen{w.value(2).toInt(), w.value(3) == u"R"};
            QStringList keys;
            for (const QString &nome : w[1].split(u','))
                keys.append(childKey(nome));
            QVERIFY(scelte.assegnaBambini(keys, chosen));
        } else if (w[0] == u"unisci") {
            NameJoins joined;
            joined.join(w[1], w[2]);
            QVERIFY(writeJoins(joins, joined).isEmpty());
        } else if (w[0] == u"file") {
            QFile file(classe + u'/' + sceltaFileName(childKey(w[1])));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(w[2].toUtf8()) > 0);
        } else if (w[0] == u"via" || w[0] == u"torna") {
            QVERIFY(QDir().rename(w[0] == u"via" ? classe : classe + u".via"_s, w[0] == u"via" ? classe + u".via"_s : classe));
        } else if (w[0] == u"altro") {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               m_tmp->filePath(u"pc%1"_s.arg(++m_computers)));
        } else if (w[0] == u"gioca") {
            scelte.perLaPartita(w[1]);
        } else {
            scelte.cambia(w[0], {scelta.tabellina, w.value(2) == u"R" ? std::optional<bool>(true) : std::nullopt});
        }
    }
    const Scelte::Partita partita = scelte.perLaPartita(child);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    err.seek(0);
    const QByteArray text = err.readAll();
    QCOMPARE(partita.tabellina, tabellina);
    QCOMPARE(partita.ripasso, ripasso);
    QVERIFY2(text.count('\n') == said, text.constData());
}

QTEST_GUILESS_MAIN(TestScelte)
#include "tst_scelte.moc"
