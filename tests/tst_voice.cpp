#include "agent/characterfile.h"
#include "speech/desktopagent.h"
#include "speech/espeakworker.h"

#include <QDataStream>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace Qt::StringLiterals;

namespace {

const QString Introduction =
    u"Allora attenzione, iniziamo la nostra avventura con la tabellina del 2. Io detto e tu scrivi il risultato "
    "nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta che io finisca di "
    "parlare e premi ancora invio per avere la domanda successiva"_s;

VoiceSettings wizardVoice()
{
    return CharacterFile::read(DesktopAgent::defaultCharactersFolder() + u"/Merlin.acs"_s).voice;
}

void writeWav(const QString &path, const Utterance &u)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 bytes = quint32(u.pcm.size());
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(u.sampleRate) << quint32(u.sampleRate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    out.writeRawData(u.pcm.constData(), int(bytes));
}

// The length of a 16-bit mono PCM WAV file, from its header and size.
qint64 wavLengthMs(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray header = file.read(44);
    if (header.size() < 44 || !header.startsWith("RIFF") || header.mid(8, 8) != "WAVEfmt ")
        return -1;
    QDataStream in(header.mid(24, 20));
    in.setByteOrder(QDataStream::LittleEndian);
    quint32 rate = 0, byteRate = 0, dataBytes = 0;
    quint16 align = 0, bits = 0;
    in >> rate >> byteRate >> align >> bits;
    in.skipRawData(4);
    in >> dataBytes;
    if (byteRate == 0 || qint64(dataBytes) != file.size() - 44)
        return -1;
    return qint64(dataBytes) * 1000 / byteRate;
}

} // namespace

// The real espeak-ng voice, without playing anything.
class TestVoice : public QObject
{
    Q_OBJECT

private slots:
    void plausibleLengths_data();
    void plausibleLengths();
    void wordsPointIntoTheText();
    void voicesShareOneWorker();
};

void TestVoice::plausibleLengths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    // A child-paced voice: a short word is a fraction of a second, the introduction
    // (about 50 words) somewhere between a quarter and half a minute.
    QTest::newRow("2") << u"2"_s << 150 << 1200;
    QTest::newRow("per") << u"per"_s << 120 << 1000;
    QTest::newRow("sette") << u"sette"_s << 200 << 1200;
    QTest::newRow("14 read as a number") << u"14"_s << 400 << 1800;
    QTest::newRow("introduction") << Introduction << 12000 << 35000;
}

void TestVoice::plausibleLengths()
{
    QFETCH(QString, text);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    const Utterance u = EspeakWorker::shared()->synthesizeNow(text, wizardVoice());
    QCOMPARE(u.sampleRate, 22050);
    QVERIFY(!u.pcm.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath(u"voce.wav"_s);
    writeWav(path, u);
    const qint64 length = wavLengthMs(path);
    QCOMPARE(length, u.durationMs());
    QVERIFY2(length >= minMs && length <= maxMs, qPrintable(u"%1 ms"_s.arg(length)));
    // Not silence: a voice has loud samples.
    const auto *samples = reinterpret_cast<const qint16 *>(u.pcm.constData());
    const qsizetype loud = std::count_if(samples, samples + u.pcm.size() / 2, [](qint16 s) { return qAbs(s) > 2000; });
    QVERIFY(loud > u.pcm.size() / 2 / 50);
}

void TestVoice::wordsPointIntoTheText()
{
    const QString text = u"Perfetto, è così! Hai già fatto 12 risposte esatte."_s;
    const Utterance u = EspeakWorker::shared()->synthesizeNow(text, wizardVoice());
    QStringList heard;
    qint64 last = -1;
    for (const WordMark &w : u.words) {
        QVERIFY(w.audioMs >= last);
        QVERIFY(w.audioMs <= u.durationMs());
        last = w.audioMs;
        heard << text.mid(w.position, w.length);
    }
    QCOMPARE(heard, QStringList({u"Perfetto"_s, u"è"_s, u"così"_s, u"Hai"_s, u"già"_s, u"fatto"_s, u"12"_s,
                                 u"risposte"_s, u"esatte"_s}));
}

void TestVoice::voicesShareOneWorker()
{
    // Two callers at once go through the one worker: espeak-ng must never run on two
    // threads, and each caller gets its own text back.
    auto first = std::async(std::launch::async, [] {
        return EspeakWorker::shared()->synthesizeNow(u"due per sette"_s, wizardVoice());
    });
    auto second = std::async(std::launch::async, [] {
        return EspeakWorker::shared()->synthesizeNow(u"quattordici"_s, wizardVoice());
    });
    const Utterance a = first.get();
    const Utterance b = second.get();
    QCOMPARE(a.text, u"due per sette"_s);
    QCOMPARE(b.text, u"quattordici"_s);
    QCOMPARE(a.words.size(), 3);
    QCOMPARE(b.words.size(), 1);
    const Utterance alone = EspeakWorker::shared()->synthesizeNow(u"quattordici"_s, wizardVoice());
    QVERIFY(qAbs(alone.durationMs() - b.durationMs()) < alone.durationMs() / 10);
}

QTEST_MAIN(TestVoice)
#include "tst_voice.moc"
