// The character file parser: any bytes either make a character whose structure
// holds together, or raise a RuntimeError; never a crash, a leak, undefined
// behaviour or another exception. The folder beside the file holds a small artwork
// file, "Merlin.svg", and a folder, "cartella", for artwork named by file.
#include "agent/characterfile.h"
#include "core/runtimeerror.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

std::optional<QTemporaryDir> folder; // removed when the run ends

[[noreturn]] void fail(const char *what, const CharacterFile &c)
{
    std::fprintf(stderr, "character file \"%s\" accepted, but %s\n", qPrintable(c.name), what);
    std::abort();
}

// The program asks for its animations by ASCII names in any case. (QString::toUpper
// would not do here: it turns a lone surrogate into U+FFFD and "ß" into "SS".)
QString swapAsciiCase(QString name)
{
    for (QChar &ch : name) {
        if (ch >= u'a' && ch <= u'z')
            ch = QChar(ch.unicode() - 32);
        else if (ch >= u'A' && ch <= u'Z')
            ch = QChar(ch.unicode() + 32);
    }
    return name;
}

void checkStructure(const CharacterFile &c)
{
    if (c.name.isEmpty())
        fail("it has no name", c);
    if (c.layers.isEmpty() || QSet<QString>(c.layers.begin(), c.layers.end()).size() != c.layers.size())
        fail("its layers are missing or repeated", c);
    for (const QString &layer : c.layers) {
        if (layer.isEmpty() || !c.restPose.contains(layer))
            fail("a layer has no resting element", c);
    }
    for (auto it = c.restPose.begin(); it != c.restPose.end(); ++it) {
        if (!c.layers.contains(it.key()))
            fail("the resting pose names an unknown layer", c);
    }
    if (!c.layers.contains(c.mouthLayer) || c.mouthShapes.isEmpty())
        fail("it cannot speak", c);
    if (c.voice.language.isEmpty() || c.voice.rate < 80 || c.voice.rate > 450 || c.voice.pitch < 0
        || c.voice.pitch > 100 || c.voice.range < 0 || c.voice.range > 100)
        fail("its voice is out of range", c);
    if (c.animations.isEmpty())
        fail("it has no animations", c);
    for (const CharacterAnimation &a : c.animations) {
        if (a.frames.isEmpty() || c.animation(a.name) != &a || c.animation(swapAsciiCase(a.name)) != &a)
            fail("an animation is empty or not found by its name", c);
        for (const CharacterFrame &f : a.frames) {
            if (f.durationMs < 1 || f.durationMs > 10000 || !(f.lift >= -0.5 && f.lift <= 0.5)
                || !(f.tilt >= -45 && f.tilt <= 45))
                fail("a frame is out of range", c);
            for (auto it = f.pose.begin(); it != f.pose.end(); ++it) {
                if (!c.layers.contains(it.key()))
                    fail("a frame names an unknown layer", c);
            }
        }
        if (a.durationMs() < int(a.frames.size()))
            fail("an animation's length is less than its frames", c);
    }
    const QStringList ids = c.elementIds();
    if (QSet<QString>(ids.begin(), ids.end()).size() != ids.size() || ids.contains(QString()))
        fail("its element ids are repeated or empty", c);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder.emplace();
    QFile art(folder->filePath(QStringLiteral("Merlin.svg")));
    if (!folder->isValid() || !art.open(QIODevice::WriteOnly)
        || art.write("<svg xmlns=\"http://www.w3.org/2000/svg\"><g id=\"arms-rest\"/></svg>") < 0
        || !QDir(folder->path()).mkdir(QStringLiteral("cartella"))) {
        std::fprintf(stderr, "cannot prepare the character folder\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        checkStructure(CharacterFile::parse(json, folder->path(), QStringLiteral("Merlin.acs")));
    } catch (const RuntimeError &e) {
        // A malformed file, or an artwork file that is missing (53) or a folder (75).
        switch (e.number()) {
        case RuntimeError::BadFileFormat:
        case RuntimeError::FileNotFound:
        case RuntimeError::PathFileAccess:
            break;
        default:
            std::fprintf(stderr, "unexpected error: %s\n", e.what());
            std::abort();
        }
    }
    return 0;
}
