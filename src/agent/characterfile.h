#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// How a character's voice sounds: an espeak-ng voice name and its prosody.
struct VoiceSettings
{
    QString language = QStringLiteral("it");
    int rate = 150;    // words per minute
    int pitch = 50;    // 0..100
    int range = 50;    // 0..100, how much the pitch moves
};

// One picture of an animation: which artwork element each layer shows, for how long,
// and how the whole figure is lifted or leaned.
struct CharacterFrame
{
    int durationMs = 0;
    QHash<QString, QString> pose;   // layer -> element id; "" hides the layer; missing keeps the resting one
    double lift = 0;                // fraction of the height the figure rises
    double tilt = 0;                // degrees, leaning around the feet
};

struct CharacterAnimation
{
    QString name;
    QList<CharacterFrame> frames;
    int durationMs() const;
};

// A character file of our own: JSON holding the name, the SVG artwork (inline or as a
// file beside it), the layers that change between poses, the resting pose, the mouth
// shapes used while speaking, the animations and the voice. Reading it checks its
// structure; whether the artwork has the elements it names is for the renderer to check.
class CharacterFile final
{
public:
    // A missing file is error 53, an unreadable one 70 or 75, a malformed one 321.
    static CharacterFile read(const QString &path);
    // folder: where an artwork file named by the character file is looked for.
    static CharacterFile parse(const QByteArray &json, const QString &folder, const QString &fileName);

    // Names match without regard to case; nullptr when the character lacks it.
    const CharacterAnimation *animation(const QString &name) const;
    // Every element id that the poses and animations name.
    QStringList elementIds() const;

    QString name;
    QByteArray artwork;
    QStringList layers;                 // drawing order, bottom first
    QHash<QString, QString> restPose;   // a value for every layer
    QString mouthLayer;
    QStringList mouthShapes;            // cycled while speaking
    VoiceSettings voice;
    QList<CharacterAnimation> animations;
};

// Maps the fixed character path, whose folder is "C:\WINDOWS\msagent\chars\" in any
// letter case, to the same file name in charactersFolder. Empty for any other path.
QString mapCharacterPath(const QString &path, const QString &charactersFolder);
