#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <sys/types.h>

// Names a teacher joined: a child of six types "Marcp" for "Marco", and the notebook's
// "Unisci a..." makes Marcp's answers count as Marco's. The joins live in a small file of
// their own (in the class folder, or beside the history), which every reader of the
// history reads and only the notebook writes; no history file is ever changed for them.
// Plain code: Qt Core only.
//
// The file: UTF-8, lines ended by CR LF, fields as in the history (';', quoted where
// needed); the header joinsHeader, then one line a join: the name joined and the name it
// counts as, each as the notebook showed it, e.g.
//   Marcp;Marco

inline constexpr char joinsFileName[] = "nomi-uniti.csv";
inline constexpr char joinsHeader[] = "nome;unito_a";

// The joins file of a class folder, or of a history file's folder.
QString joinsFileIn(const QString &folder);

class NameJoins final
{
public:
    // The child a name's key (childKey) counts as: the key it is joined to, through joins of
    // joins; the key itself when it is joined to nothing, or to a circle (a file edited by hand).
    QString resolve(const QString &key) const;
    // The name key was joined to, as written then: for a child with no answer of its own.
    QString nameOf(const QString &key) const;
    // Makes name count as target (both as shown); a name joined before is joined anew.
    void join(const QString &name, const QString &target);
    // Undoes every join that counts as key; false when there was none.
    bool separate(const QString &key);
    bool isEmpty() const { return m_joins.isEmpty(); }

    QByteArray toFile() const;
    // Lines that hold no join are skipped and counted in skipped.
    static NameJoins fromFile(QByteArrayView content, qint64 *skipped = nullptr);

    bool operator==(const NameJoins &) const = default;

private:
    struct Join
    {
        QString name;
        QString target;
        QString targetKey;
        bool operator==(const Join &) const = default;
    };
    QHash<QString, Join> m_joins;  // childKey(name) -> its join
};

// What reading a joins file found; a file that is not there holds no join.
struct JoinsRead
{
    NameJoins joins;
    qint64 skipped = 0;  // lines that hold no join
    QString error;       // why the file could not be read (Italian), empty when it could
};
JoinsRead readJoins(const QString &path);

// Writes the joins whole in place of path. In a folder that other accounts can write, it
// never follows a symbolic link and never replaces a file another account owns. Returns why
// it could not (Italian), empty when written.
QString writeJoins(const QString &path, const NameJoins &joins);

// A joins file followed by a reader of the history: refresh() reads it again when it
// changed (another file in its place, another size or time).
class JoinsFile final
{
public:
    explicit JoinsFile(QString path = {})
        : m_path(std::move(path))
    {
    }
    // True when the joins changed since the last call.
    bool refresh();
    const QString &path() const { return m_path; }
    const JoinsRead &read() const { return m_read; }

private:
    QString m_path;
    bool m_checked = false;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    qint64 m_size = -1;  // -1: not there
    qint64 m_mtimeNs = 0;
    JoinsRead m_read;
};
