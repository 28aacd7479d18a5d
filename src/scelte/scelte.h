#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QSettings;

// What a child plays: the table and "Ripasso mirato". A field not chosen falls through to
// the class's choice, and then to the table of 2 without the practice.
struct Scelta
{
    std::optional<int> tabellina;  // 2 to 10, or tutteLeTabelline
    std::optional<bool> ripasso;

    bool isEmpty() const { return !tabellina && !ripasso; }
    bool operator==(const Scelta &) const = default;
};

// Each child's choices and the class's, set by the child in the game's menu or by the teacher
// in the notebook. Children are told apart by childKey(). Plain code: Qt Core only.
//
// Without a class folder they live in this account's configuration (QSettings "quizzolo",
// group "bambini" by child, "classe" for the class). With one, in the folder, where every
// computer of the lab finds them: a small file per child, scelta-<name>-<hash>.txt, and
// scelta-classe.txt, each written whole (a new file under a name nobody can guess, renamed
// over the old one), so two computers changing one child's choice leave one of the two
// whole. The account's configuration then keeps the last choices read there (group
// "copiaCartella"), used while the folder cannot be reached, and a change made meanwhile,
// written to the folder at the next use that reaches it. A folder that does not answer holds
// nothing up for more than a few seconds. Damaged files are ignored, each said on stderr.
class Scelte final
{
public:
    // classFolder: empty for the account's configuration. joinsFile: the names a teacher
    // joined (joinsFileIn()), so that "Marcp" starts on Marco's choices.
    explicit Scelte(QString classFolder, QString joinsFile = {});

    // What a game plays, as a launcher's option does not decide it: the child's own choice,
    // else the class's, else the table of 2 without the practice.
    struct Partita
    {
        int tabellina = 2;
        bool ripasso = false;
    };
    Partita perLaPartita(const QString &nome);

    // The child changes one of its choices (the fields set in change) in the game.
    void cambia(const QString &nome, const Scelta &change);

    // The notebook, for the children of keys (childKey, joins applied): each one's own choice
    // and the class's, as they stand; reached is false when the folder could not be read.
    struct Tutte
    {
        QHash<QString, Scelta> bambini;  // by key, those with a choice of their own
        Scelta classe;
        bool reached = true;
        bool operator==(const Tutte &) const = default;
    };
    Tutte tutte(const QStringList &keys);
    // Sets the choice of the children of keys (their own), or the class's, clearing every
    // child's own so that all start on it. False with error() when it could not be written.
    bool assegnaBambini(const QStringList &keys, const Scelta &scelta);
    bool assegnaClasse(const Scelta &scelta);
    const QString &error() const { return m_error; }

private:
    bool write(const std::function<void(QSettings &)> &inSettings,
               const std::function<QString(const QString &folder)> &inFolder);

    QString m_folder;
    QString m_joinsFile;
    QString m_error;
};

// The file of one child's choices in a class folder: "scelta-" and the key's first letters
// and digits, then a hash of it, so any name makes a short, safe file name.
QString sceltaFileName(const QString &key);
