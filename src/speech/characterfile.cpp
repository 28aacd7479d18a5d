#include "speech/characterfile.h"

#include "core/runtimeerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

constexpr int MaxFrameMs = 10000;
// An animation's frames together; it also keeps durationMs() far from int overflow
// however many frames an 8 MB file holds.
constexpr int MaxAnimationMs = 60000;
constexpr int MaxFileBytes = 8 * 1024 * 1024;

[[noreturn]] void malformed(const QString &fileName, const QString &what)
{
    throw RuntimeError(RuntimeError::BadFileFormat, fileName + QStringLiteral(": ") + what);
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!info.exists())
        throw RuntimeError(RuntimeError::FileNotFound, path);
    if (info.isDir())
        throw RuntimeError(RuntimeError::PathFileAccess, path);
    if (!file.open(QIODevice::ReadOnly)) {
        // Qt reports any failed open as OpenError; the system's own reason tells a file we
        // may not read from one that cannot be read at all.
        const int cause = errno;
        const bool denied = cause == EACCES || cause == EPERM || !info.isReadable();
        throw RuntimeError(denied ? RuntimeError::PermissionDenied : RuntimeError::PathFileAccess, path);
    }
    if (file.size() > MaxFileBytes)
        throw RuntimeError(RuntimeError::BadFileFormat, path + QStringLiteral(": file troppo grande"));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(RuntimeError::PathFileAccess, path);
    return data;
}

int boundedInt(const QJsonObject &object, const QString &key, int fallback, int low, int high,
               const QString &fileName, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return fallback;
    if (!value.isDouble() || value.toDouble() != std::floor(value.toDouble()) || value.toDouble() < low
        || value.toDouble() > high) {
        malformed(fileName, QStringLiteral("%1: \"%2\" deve essere un numero intero da %3 a %4")
                                .arg(where, key).arg(low).arg(high));
    }
    return value.toInt();
}

double boundedReal(const QJsonObject &object, const QString &key, double low, double high,
                   const QString &fileName, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return 0;
    if (!value.isDouble() || value.toDouble() < low || value.toDouble() > high)
        malformed(fileName, QStringLiteral("%1: \"%2\" deve essere un numero da %3 a %4").arg(where, key).arg(low).arg(high));
    return value.toDouble();
}

QHash<QString, QString> readPose(const QJsonValue &value, const QStringList &layers, const QString &fileName,
                                 const QString &where)
{
    if (!value.isObject())
        malformed(fileName, where + QStringLiteral(": manca la posa"));
    QHash<QString, QString> pose;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!layers.contains(it.key()))
            malformed(fileName, QStringLiteral("%1: livello sconosciuto \"%2\"").arg(where, it.key()));
        if (!it.value().isString())
            malformed(fileName, QStringLiteral("%1: il livello \"%2\" deve nominare un elemento").arg(where, it.key()));
        pose.insert(it.key(), it.value().toString());
    }
    return pose;
}

// A voice name as espeak-ng names its voices: an ASCII letter, then up to 31 ASCII
// letters, digits, '_', '+' or '-'. Checked by hand: a pattern would bring the regular
// expression compiler into every start of the program for this one check.
bool isVoiceName(QStringView name)
{
    auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (name.isEmpty() || name.size() > 32 || !letter(name.front()))
        return false;
    return std::all_of(name.begin() + 1, name.end(), [&](QChar c) {
        return letter(c) || (c >= u'0' && c <= u'9') || c == u'_' || c == u'+' || c == u'-';
    });
}

} // namespace

int CharacterAnimation::durationMs() const
{
    int total = 0;
    for (const CharacterFrame &frame : frames)
        total += frame.durationMs;
    return total;
}

CharacterFile CharacterFile::read(const QString &path)
{
    const QFileInfo info(path);
    return parse(readWhole(path), info.absolutePath(), info.fileName());
}

CharacterFile CharacterFile::parse(const QByteArray &json, const QString &folder, const QString &fileName)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        malformed(fileName, QStringLiteral("JSON non valido al carattere %1 (%2)")
                                .arg(error.offset).arg(error.errorString()));
    }
    if (!document.isObject())
        malformed(fileName, QStringLiteral("il contenuto non è un oggetto JSON"));
    const QJsonObject root = document.object();
    if (root.value(u"format").toString() != u"quizzolo-character" || root.value(u"version").toInt() != 1)
        malformed(fileName, QStringLiteral("non è un personaggio di Quizzolo (versione 1)"));

    CharacterFile character;
    character.name = root.value(u"name").toString();
    if (character.name.isEmpty())
        malformed(fileName, QStringLiteral("manca il nome del personaggio"));

    const QJsonObject artwork = root.value(u"artwork").toObject();
    if (artwork.value(u"svg").isString()) {
        character.artwork = artwork.value(u"svg").toString().toUtf8();
    } else if (artwork.value(u"file").isString()) {
        // Only a file beside the character file: the character folder is the one place looked in.
        const QString name = artwork.value(u"file").toString();
        if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name == u".." || name == u".")
            malformed(fileName, QStringLiteral("il disegno deve essere un file nella stessa cartella"));
        character.artwork = readWhole(QDir(folder).filePath(name));
    } else {
        malformed(fileName, QStringLiteral("manca il disegno (\"artwork\")"));
    }

    for (const QJsonValue &layer : root.value(u"layers").toArray()) {
        if (!layer.isString() || layer.toString().isEmpty() || character.layers.contains(layer.toString()))
            malformed(fileName, QStringLiteral("i livelli devono essere nomi diversi fra loro"));
        character.layers.append(layer.toString());
    }
    if (character.layers.isEmpty())
        malformed(fileName, QStringLiteral("mancano i livelli (\"layers\")"));

    character.restPose = readPose(root.value(u"rest"), character.layers, fileName, QStringLiteral("posa di riposo"));
    for (const QString &layer : std::as_const(character.layers)) {
        if (!character.restPose.contains(layer))
            malformed(fileName, QStringLiteral("la posa di riposo non dice nulla del livello \"%1\"").arg(layer));
    }

    const QJsonObject speaking = root.value(u"speaking").toObject();
    character.mouthLayer = speaking.value(u"layer").toString();
    if (!character.layers.contains(character.mouthLayer))
        malformed(fileName, QStringLiteral("la bocca (\"speaking\") deve stare in uno dei livelli"));
    for (const QJsonValue &shape : speaking.value(u"shapes").toArray()) {
        if (!shape.isString() || shape.toString().isEmpty())
            malformed(fileName, QStringLiteral("le forme della bocca devono essere elementi del disegno"));
        character.mouthShapes.append(shape.toString());
    }
    if (character.mouthShapes.isEmpty())
        malformed(fileName, QStringLiteral("mancano le forme della bocca"));

    const QJsonValue voiceValue = root.value(u"voice");
    if (!voiceValue.isObject())
        malformed(fileName, QStringLiteral("manca la voce"));
    const QJsonObject voice = voiceValue.toObject();
    const QString language = voice.value(u"language").toString();
    if (!isVoiceName(language))
        malformed(fileName, QStringLiteral("la voce deve avere una lingua come \"it\""));
    character.voice.language = language;
    const QString where = QStringLiteral("voce");
    character.voice.rate = boundedInt(voice, QStringLiteral("rate"), 150, 80, 450, fileName, where);
    character.voice.pitch = boundedInt(voice, QStringLiteral("pitch"), 50, 0, 100, fileName, where);
    character.voice.range = boundedInt(voice, QStringLiteral("range"), 50, 0, 100, fileName, where);

    const QJsonValue animationsValue = root.value(u"animations");
    if (!animationsValue.isObject())
        malformed(fileName, QStringLiteral("mancano le animazioni"));
    const QJsonObject animations = animationsValue.toObject();
    for (auto it = animations.begin(); it != animations.end(); ++it) {
        CharacterAnimation animation;
        animation.name = it.key();
        const QString where = QStringLiteral("animazione \"%1\"").arg(it.key());
        if (animation.name.trimmed().isEmpty())
            malformed(fileName, QStringLiteral("un'animazione senza nome"));
        if (character.animation(animation.name))
            malformed(fileName, where + QStringLiteral(" ripetuta"));
        if (!it.value().isArray() || it.value().toArray().isEmpty())
            malformed(fileName, where + QStringLiteral(": mancano i fotogrammi"));
        const QJsonArray frames = it.value().toArray();
        int totalMs = 0;
        for (qsizetype i = 0; i < frames.size(); ++i) {
            const QString frameWhere = QStringLiteral("%1, fotogramma %2").arg(where).arg(i + 1);
            if (!frames.at(i).isObject())
                malformed(fileName, frameWhere + QStringLiteral(": non è un oggetto"));
            const QJsonObject object = frames.at(i).toObject();
            if (!object.contains(u"ms"))
                malformed(fileName, frameWhere + QStringLiteral(": manca la durata (\"ms\")"));
            CharacterFrame frame;
            frame.durationMs = boundedInt(object, QStringLiteral("ms"), 0, 1, MaxFrameMs, fileName, frameWhere);
            if (object.contains(u"pose"))
                frame.pose = readPose(object.value(u"pose"), character.layers, fileName, frameWhere);
            frame.lift = boundedReal(object, QStringLiteral("lift"), -0.5, 0.5, fileName, frameWhere);
            frame.tilt = boundedReal(object, QStringLiteral("tilt"), -45, 45, fileName, frameWhere);
            animation.frames.append(frame);
            totalMs += frame.durationMs;
            if (totalMs > MaxAnimationMs)
                malformed(fileName, where + QStringLiteral(": dura più di %1 secondi").arg(MaxAnimationMs / 1000));
        }
        character.animations.append(animation);
    }
    if (character.animations.isEmpty())
        malformed(fileName, QStringLiteral("mancano le animazioni"));
    return character;
}

const CharacterAnimation *CharacterFile::animation(const QString &name) const
{
    for (const CharacterAnimation &animation : animations) {
        if (animation.name.compare(name, Qt::CaseInsensitive) == 0)
            return &animation;
    }
    return nullptr;
}

QStringList CharacterFile::elementIds() const
{
    QStringList ids;
    auto add = [&ids](const QString &id) {
        if (!id.isEmpty() && !ids.contains(id))
            ids.append(id);
    };
    for (const QString &id : restPose)
        add(id);
    for (const QString &id : mouthShapes)
        add(id);
    for (const CharacterAnimation &animation : animations) {
        for (const CharacterFrame &frame : animation.frames) {
            for (const QString &id : frame.pose)
                add(id);
        }
    }
    return ids;
}

QString mapCharacterPath(const QString &path, const QString &charactersFolder)
{
    static const QString folder = QStringLiteral("C:\\WINDOWS\\msagent\\chars\\");
    if (!path.startsWith(folder, Qt::CaseInsensitive))
        return {};
    const QString name = path.mid(folder.size());
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'\\') || name.contains(u'/'))
        return {};
    const QDir dir(charactersFolder);
    if (dir.exists(name))
        return dir.filePath(name);
    // The fixed path comes from a platform whose file names ignore case.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return dir.filePath(name);
}
