#include "speech/characterfile.h"
#include "core/runtimeerror.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr uid_t NobodyId = 65534;

// Acts as another user while in scope (file access follows the effective user id);
// root can switch back because its saved id stays 0.
class EffectiveUser
{
public:
    explicit EffectiveUser(uid_t id)
        : m_switched(geteuid() == 0 && seteuid(id) == 0)
    {
    }
    ~EffectiveUser()
    {
        if (m_switched && seteuid(0) != 0)
            qFatal("cannot become root again");
    }
    EffectiveUser(const EffectiveUser &) = delete;
    EffectiveUser &operator=(const EffectiveUser &) = delete;
    bool switched() const { return m_switched; }

private:
    bool m_switched;
};

} // namespace

// A small, valid character; rows of the tests break one thing in it.
static QJsonObject validCharacter()
{
    return QJsonDocument::fromJson(R"({
      "format": "quizzolo-character", "version": 1, "name": "Prova",
      "artwork": { "svg": "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 20'/>" },
      "layers": ["arms", "mouth"],
      "rest": { "arms": "a0", "mouth": "m0" },
      "speaking": { "layer": "mouth", "shapes": ["m1", "m2"] },
      "voice": { "language": "it", "rate": 140, "pitch": 60, "range": 60 },
      "animations": { "Wave": [ { "ms": 300, "pose": { "arms": "a1" }, "lift": 0.1, "tilt": -5 }, { "ms": 200 } ] }
    })").object();
}

class TestAgentFile : public QObject
{
    Q_OBJECT

private slots:
    void validFileReads();
    void malformed_data();
    void malformed();
    void unreadable_data();
    void unreadable();
    void fixedPath_data();
    void fixedPath();
    void animationNames_data();
    void animationNames();
    void shippedWizard();
};

void TestAgentFile::validFileReads()
{
    const CharacterFile c = CharacterFile::parse(QJsonDocument(validCharacter()).toJson(), {}, u"prova.acs"_s);
    QCOMPARE(c.name, u"Prova"_s);
    QCOMPARE(c.layers, QStringList({u"arms"_s, u"mouth"_s}));
    QCOMPARE(c.voice.rate, 140);
    QCOMPARE(c.animations.size(), 1);
    QCOMPARE(c.animations.first().durationMs(), 500);
    QCOMPARE(c.animations.first().frames.first().pose.value(u"arms"_s), u"a1"_s);
    QCOMPARE(c.animations.first().frames.first().tilt, -5.0);
    QCOMPARE(c.elementIds().size(), 5);
    for (const QString &id : {u"a0"_s, u"m0"_s, u"m1"_s, u"m2"_s, u"a1"_s})
        QVERIFY2(c.elementIds().contains(id), qPrintable(id));
}

void TestAgentFile::malformed_data()
{
    QTest::addColumn<QByteArray>("json");

    auto with = [](auto change) {
        QJsonObject o = validCharacter();
        change(o);
        return QJsonDocument(o).toJson();
    };
    auto frame = [&with](const QJsonObject &f) {
        return with([&f](QJsonObject &o) {
            o[u"animations"_s] = QJsonObject{{u"Wave"_s, QJsonArray{f}}};
        });
    };
    QTest::newRow("not JSON") << QByteArray("{ \"format\": ");
    QTest::newRow("a JSON array") << QByteArray("[1, 2]");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("another format") << with([](QJsonObject &o) { o[u"format"_s] = u"acs"_s; });
    QTest::newRow("a later version") << with([](QJsonObject &o) { o[u"version"_s] = 2; });
    QTest::newRow("no name") << with([](QJsonObject &o) { o.remove(u"name"_s); });
    QTest::newRow("no artwork") << with([](QJsonObject &o) { o.remove(u"artwork"_s); });
    QTest::newRow("artwork outside the folder")
        << with([](QJsonObject &o) { o[u"artwork"_s] = QJsonObject{{u"file"_s, u"../altro.svg"_s}}; });
    QTest::newRow("no layers") << with([](QJsonObject &o) { o[u"layers"_s] = QJsonArray(); });
    QTest::newRow("layer named twice") << with([](QJsonObject &o) { o[u"layers"_s] = QJsonArray{u"a"_s, u"a"_s}; });
    QTest::newRow("rest pose misses a layer")
        << with([](QJsonObject &o) { o[u"rest"_s] = QJsonObject{{u"arms"_s, u"a0"_s}}; });
    QTest::newRow("mouth outside the layers")
        << with([](QJsonObject &o) { o[u"speaking"_s] = QJsonObject{{u"layer"_s, u"hat"_s}, {u"shapes"_s, QJsonArray{u"m1"_s}}}; });
    QTest::newRow("no mouth shapes")
        << with([](QJsonObject &o) { o[u"speaking"_s] = QJsonObject{{u"layer"_s, u"mouth"_s}}; });
    QTest::newRow("no voice") << with([](QJsonObject &o) { o.remove(u"voice"_s); });
    QTest::newRow("voice name with a path")
        << with([](QJsonObject &o) { o[u"voice"_s] = QJsonObject{{u"language"_s, u"../it"_s}}; });
    QTest::newRow("voice name of 33 letters")
        << with([](QJsonObject &o) { o[u"voice"_s] = QJsonObject{{u"language"_s, QString(33, u'a')}}; });
    QTest::newRow("voice name with a line ending")
        << with([](QJsonObject &o) { o[u"voice"_s] = QJsonObject{{u"language"_s, u"it\n"_s}}; });
    QTest::newRow("rate too slow")
        << with([](QJsonObject &o) { o[u"voice"_s] = QJsonObject{{u"language"_s, u"it"_s}, {u"rate"_s, 10}}; });
    QTest::newRow("pitch not a number")
        << with([](QJsonObject &o) { o[u"voice"_s] = QJsonObject{{u"language"_s, u"it"_s}, {u"pitch"_s, u"alto"_s}}; });
    QTest::newRow("no animations") << with([](QJsonObject &o) { o[u"animations"_s] = QJsonObject(); });
    QTest::newRow("animation without frames")
        << with([](QJsonObject &o) { o[u"animations"_s] = QJsonObject{{u"Wave"_s, QJsonArray()}}; });
    QTest::newRow("frame without duration") << frame(QJsonObject{{u"lift"_s, 0.1}});
    QTest::newRow("frame of no time") << frame(QJsonObject{{u"ms"_s, 0}});
    QTest::newRow("frame of negative time") << frame(QJsonObject{{u"ms"_s, -100}});
    QTest::newRow("frame of a fraction of a millisecond") << frame(QJsonObject{{u"ms"_s, 10.5}});
    QTest::newRow("frame of minutes") << frame(QJsonObject{{u"ms"_s, 600000}});
    QTest::newRow("frame on an unknown layer")
        << frame(QJsonObject{{u"ms"_s, 100}, {u"pose"_s, QJsonObject{{u"hat"_s, u"h1"_s}}}});
    QTest::newRow("frame lifted off the screen") << frame(QJsonObject{{u"ms"_s, 100}, {u"lift"_s, 3}});
    QTest::newRow("animation of more than a minute")
        << with([](QJsonObject &o) {
               QJsonArray frames;
               for (int i = 0; i < 7; ++i)
                   frames.append(QJsonObject{{u"ms"_s, 10000}});
               o[u"animations"_s] = QJsonObject{{u"Wave"_s, frames}};
           });
    // Within the file size allowed, its frames add up past INT_MAX milliseconds.
    QTest::newRow("animation whose length would overflow")
        << with([](QJsonObject &o) {
               QJsonArray frames;
               for (int i = 0; i < 214749; ++i)
                   frames.append(QJsonObject{{u"ms"_s, 10000}});
               o[u"animations"_s] = QJsonObject{{u"Wave"_s, frames}};
           });
    QTest::newRow("two animations differing only in case")
        << with([](QJsonObject &o) {
               const QJsonArray frames{QJsonObject{{u"ms"_s, 100}}};
               o[u"animations"_s] = QJsonObject{{u"Wave"_s, frames}, {u"WAVE"_s, frames}};
           });
}

void TestAgentFile::malformed()
{
    QFETCH(QByteArray, json);
    try {
        CharacterFile::parse(json, QDir::tempPath(), u"prova.acs"_s);
        QFAIL("a malformed character file was accepted");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(RuntimeError::BadFileFormat));
        QVERIFY2(e.description().contains(u"prova.acs"_s), qPrintable(e.description()));
    }
}

void TestAgentFile::unreadable_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("number");
    QTest::newRow("no such file") << u"missing"_s << int(RuntimeError::FileNotFound);
    QTest::newRow("a folder in its place") << u"folder"_s << int(RuntimeError::PathFileAccess);
    QTest::newRow("no permission to read") << u"locked"_s << int(RuntimeError::PermissionDenied);
    QTest::newRow("its artwork file missing") << u"no-artwork"_s << int(RuntimeError::FileNotFound);
}

void TestAgentFile::unreadable()
{
    QFETCH(QString, setup);
    QFETCH(int, number);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Prova.acs"_s);
    QJsonObject o = validCharacter();
    if (setup == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(u"Prova.acs"_s));
    } else if (setup != u"missing") {
        if (setup == u"no-artwork")
            o[u"artwork"_s] = QJsonObject{{u"file"_s, u"Prova.svg"_s}};
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(o).toJson());
        file.close();
        if (setup == u"locked")
            QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
    }
    // Root reads any file: check the locked one as an ordinary user, who may still look
    // into the folder.
    std::optional<EffectiveUser> nobody;
    if (setup == u"locked" && QFile(path).open(QIODevice::ReadOnly)) {
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ExeGroup | QFileDevice::ExeOther));
        nobody.emplace(NobodyId);
        if (!nobody->switched())
            QSKIP("running with rights that read any file, and no other user to become");
    }
    try {
        CharacterFile::read(path);
        QFAIL("an unreadable character file was accepted");
    } catch (const RuntimeError &e) {
        nobody.reset();
        QCOMPARE(e.number(), number);
    }
}

void TestAgentFile::fixedPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");   // relative to the characters folder; "" = not found
    QTest::newRow("the fixed path") << u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s << u"Merlin.acs"_s;
    QTest::newRow("folder in another case") << u"c:\\windows\\MSAGENT\\Chars\\Merlin.acs"_s << u"Merlin.acs"_s;
    QTest::newRow("file name in another case") << u"C:\\WINDOWS\\msagent\\chars\\MERLIN.ACS"_s << u"Merlin.acs"_s;
    QTest::newRow("a file not there keeps its name") << u"C:\\WINDOWS\\msagent\\chars\\Genie.acs"_s << u"Genie.acs"_s;
    QTest::newRow("another folder") << u"C:\\WINDOWS\\Merlin.acs"_s << QString();
    QTest::newRow("forward slashes") << u"C:/WINDOWS/msagent/chars/Merlin.acs"_s << QString();
    QTest::newRow("a subfolder") << u"C:\\WINDOWS\\msagent\\chars\\old\\Merlin.acs"_s << QString();
    QTest::newRow("climbing out") << u"C:\\WINDOWS\\msagent\\chars\\..\\Merlin.acs"_s << QString();
    QTest::newRow("the folder alone") << u"C:\\WINDOWS\\msagent\\chars\\"_s << QString();
    QTest::newRow("a local path") << u"/usr/share/quizzolo/chars/Merlin.acs"_s << QString();
}

void TestAgentFile::fixedPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"Merlin.acs"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString mapped = mapCharacterPath(path, dir.path());
    QCOMPARE(mapped, expected.isEmpty() ? QString() : dir.filePath(expected));
}

void TestAgentFile::animationNames_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("found");
    QTest::newRow("as written") << u"Congratulate"_s << u"Congratulate"_s;
    QTest::newRow("lower case") << u"congratulate"_s << u"Congratulate"_s;
    QTest::newRow("upper case") << u"DOMAGIC1"_s << u"DoMagic1"_s;
    QTest::newRow("mixed case") << u"doMAGIC2"_s << u"DoMagic2"_s;
    QTest::newRow("announce") << u"announce"_s << u"Announce"_s;
    QTest::newRow("greet") << u"greet"_s << u"Greet"_s;
    QTest::newRow("an animation it lacks") << u"Wave"_s << QString();
    QTest::newRow("a name with a space more") << u"Greet "_s << QString();
    QTest::newRow("no name") << QString() << QString();
}

void TestAgentFile::animationNames()
{
    QFETCH(QString, asked);
    QFETCH(QString, found);
    const CharacterFile c = CharacterFile::read(QStringLiteral(QUIZZOLO_SOURCE_DIR "/resources/chars/Merlin.acs"));
    const CharacterAnimation *animation = c.animation(asked);
    QCOMPARE(animation ? animation->name : QString(), found);
}

void TestAgentFile::shippedWizard()
{
    const CharacterFile c = CharacterFile::read(QStringLiteral(QUIZZOLO_SOURCE_DIR "/resources/chars/Merlin.acs"));
    QCOMPARE(c.name, u"Merlin"_s);
    QCOMPARE(c.voice.language, u"it"_s);
    QVERIFY(c.artwork.contains("<svg"));
    QCOMPARE(c.animations.size(), 5);
    for (const CharacterAnimation &animation : c.animations) {
        QVERIFY2(animation.durationMs() >= 1000 && animation.durationMs() <= 3000, qPrintable(animation.name));
        // An animation that is all resting poses would show nothing.
        QVERIFY2(std::any_of(animation.frames.begin(), animation.frames.end(),
                             [](const CharacterFrame &f) { return !f.pose.isEmpty(); }),
                 qPrintable(animation.name));
    }
}

QTEST_GUILESS_MAIN(TestAgentFile)
#include "tst_agentfile.moc"
