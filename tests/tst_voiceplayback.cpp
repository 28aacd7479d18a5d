#include "speech/characterfile.h"
#include "speech/desktop/desktopagent.h"
#include "speech/desktop/espeakvoice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// Playback through a real sound server (run by with-pulseaudio.sh): the sink takes all
// the sound, the utterance ends only when it has been played, and a long text's sound is
// made as it is heard, never held whole.
class TestVoicePlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsToTheEnd_data();
    void playsToTheEnd();

private:
    VoiceSettings m_voice;
};

void TestVoicePlayback::initTestCase()
{
    m_voice = CharacterFile::read(DesktopAgent::defaultCharactersFolder() + u"/Merlin.acs"_s).voice;
    EspeakVoice probe(m_voice);
    if (probe.isSilent()) {
        if (qEnvironmentVariableIsSet("QUIZZOLO_TEST_NEEDS_AUDIO"))
            QFAIL("the sound server started for this test offers no audio output");
        QSKIP("no audio output here; tst_voiceplayback_pulseaudio runs this with a sound server");
    }
}

void TestVoicePlayback::playsToTheEnd_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("one word") << QStringList{u"sette"_s};
    QTest::newRow("a problem, word by word") << QStringList{u"2"_s, u"per"_s, u"sette"_s};
    QTest::newRow("a sentence") << QStringList{u"Io detto e tu scrivi il risultato nello spazio sotto di me."_s};
    QTest::newRow("the introduction")
        << QStringList{u"Allora attenzione, iniziamo la nostra avventura con la tabellina del 2. Io detto e tu scrivi "
                       "il risultato nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e "
                       "poi aspetta che io finisca di parlare e premi ancora invio per avere la domanda successiva"_s};
}

void TestVoicePlayback::playsToTheEnd()
{
    QFETCH(QStringList, texts);
    EspeakVoice voice(m_voice);
    QVERIFY(!voice.isSilent());
    QSignalSpy finished(&voice, &VoiceEngine::finished);
    QSignalSpy started(&voice, &VoiceEngine::audioStarted);
    for (const QString &text : texts)
        voice.prepare(text);
    for (const QString &text : texts) {
        QElapsedTimer clock;
        clock.start();
        const int before = finished.count();
        voice.say(text);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), before + 1, 30000);
        QVERIFY(voice.bytesTotal() > 0);
        QCOMPARE(voice.bytesConsumed(), voice.bytesTotal());
        QVERIFY2(clock.elapsed() >= voice.currentDurationMs() - 30,
                 qPrintable(u"%1 ms for %2 ms of sound"_s.arg(clock.elapsed()).arg(voice.currentDurationMs())));
        QVERIFY(!voice.isSilent());
        // At most about 3 s of sound held at once (44 kB a second), whatever the length.
        QVERIFY2(voice.mostBytesHeld() <= 140'000, qPrintable(QString::number(voice.mostBytesHeld())));
        qInfo("\"%s\": %lld ms for %lld ms of sound, at most %lld bytes held", qPrintable(text), clock.elapsed(),
              voice.currentDurationMs(), voice.mostBytesHeld());
    }
    QCOMPARE(started.count(), texts.size());
}

QTEST_MAIN(TestVoicePlayback)
#include "tst_voiceplayback.moc"
