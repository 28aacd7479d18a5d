#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "storico/factrule.h"
#include "storico/joins.h"

#include <array>
#include <memory>
#include <optional>

// The history of answers, storico.csv in the program's data folder: one line per checked
// answer, so that the notebook can show a parent or a teacher how a child is doing.
// The game only appends; the notebook only reads. Plain code: Qt Core only.
//
// The file: UTF-8 without a byte-order mark, lines ended by CR LF (read also when ended by
// LF or CR alone, as an editor may leave them), fields separated by ';'
// and quoted with '"' (inner quotes doubled) when they hold ';', '"', CR or LF. The first
// line is historyHeader; then one line per answer, e.g.
//   2026-12-07T10:15:03+01:00;2026-12-07T10:15:09+01:00;Mario;3;6;1;6500;2;2100
// Times are local with their offset, in whole seconds (UTC is written +00:00, read also
// as Z); fattore is 1 to 10, esatta 1 or 0, millisecondi a whole number, tabellina 2 to 10,
// dopo_dettatura a whole number or empty when not known. Files written before the table
// was kept start with oldHistoryHeader and have lines of the first seven fields only: they
// read as the table of 2 with dopo_dettatura not known.

inline constexpr char historyFileName[] = "storico.csv";
inline constexpr char historyHeader[] =
    "partita;ora;nome;fattore;risposta;esatta;millisecondi;tabellina;dopo_dettatura";
inline constexpr char oldHistoryHeader[] = "partita;ora;nome;fattore;risposta;esatta;millisecondi";

// One checked answer.
struct HistoryEntry
{
    QDateTime partita;        // when the game started (the name dialog closed)
    QDateTime ora;            // when the answer was checked
    QString nome;             // the child's name as the game uses it ("Amico" for none)
    int fattore = 0;          // the second factor, 1 to 10
    QString risposta;         // Text3 as typed
    bool esatta = false;      // the check's verdict
    qint64 millisecondi = 0;  // from the problem being posed to the check
    int tabellina = 2;        // the first factor, 2 to 10
    qint64 dopoDettatura = -1; // from the end of the dictation (or the first key) to the check; -1 unknown
};

// The line for one entry: ';'-separated fields, quoted where needed, ended by CR LF.
QByteArray encodeHistoryLine(const HistoryEntry &entry);
// One record (without its line ending) back into an entry; nullopt when malformed.
std::optional<HistoryEntry> decodeHistoryLine(QByteArrayView line);

// The class folder named by the setting storico/cartella (QSettings "quizzolo",
// "quizzolo": per user, or system-wide in /etc/xdg); empty when there is none.
QString historyClassFolder();
// "storico-<computer>-<user>.csv" for this computer and its user: the name of the copy of
// this account's history in the class folder, so that no two computers write one file; both
// names made safe as parts of a file name.
QString classHistoryFileName();
QString classHistoryFileName(const QString &computer, const QString &user);

// What the notebook shows, computed while reading so that a million lines stay small: per
// child and fact only the counts, the last factWindow answers and the counts per day.

// The answers to one fact on one day (the day of `ora`, as the computer that wrote it saw it).
struct FactPoint
{
    QDate day;
    int answers = 0;
    int right = 0;
};

struct FactStats
{
    int answers = 0;                      // all answers ever
    int right = 0;
    FactEvidence evidence;                // of the last 10 answers, by `ora`: what the state is judged on
    FactState state = FactState::Nuovo;   // judgeFact of the evidence
    QList<FactPoint> timeline;            // one point per day with answers, oldest first
};

struct GameSummary
{
    QDateTime started;
    int tabellina = 2;  // the table of every answer of the game; 0 when the game mixed tables
    int right = 0;
    int wrong = 0;
};

struct ChildReport
{
    QString name;                     // the spelling of the child's most recent answer, trimmed
    QStringList joined;               // the names a teacher joined to this child, as last spelt
    QDateTime lastGame;               // the start of the latest game
    QList<GameSummary> games;         // oldest first
    std::array<std::array<FactStats, 10>, 9> tables;  // tables[N - 2][f - 1] is N x f

    // N x f; a fact outside the tables (N not 2 to 10, f not 1 to 10) has no answers.
    const FactStats &fact(int tabellina, int fattore) const;
};

struct HistorySummary
{
    bool exists = false;     // a file was there
    qint64 entries = 0;      // answers read
    qint64 skipped = 0;      // lines that could not be read
    QMap<QString, qint64> skippedIn;  // lines not read, by file (the joins file's too)
    QString error;           // why a file could not be read (Italian, one line a file), empty when all could
    bool notHistory = false; // there were bytes, but not one line was a history line (nor its header)
    QStringList names;       // keys, in Italian alphabetical order of the shown names
    QHash<QString, ChildReport> children;  // by key
    NameJoins joins;         // the joins of names read with the history
    // Since when the class folder read could not be reached (what was read of it before is
    // still counted); not valid while it can be.
    QDateTime outOfReach;
};

// What a history is read from: files and folders (a folder stands for its storico*.csv).
// A class folder is one that may go out of reach for a while (a network folder): what was
// read of it is then kept, and the summary says since when. Beside it, this computer's own
// history is read whole: its answers that already reached their copy in the folder
// (classHistoryFileName()) are counted once, whether the copy has them yet or not. The
// joins of names, when given, are read from joinsFile.
struct HistorySources
{
    QStringList paths;
    QString classFolder;  // also among paths
    QString ownHistory;   // also among paths; with classFolder
    QString joinsFile;
};
// The class folder and this computer's own history, as the notebook and the targeted
// practice read them when the configuration names a class folder, with the class's joins.
HistorySources classSources(const QString &classFolder, const QString &ownHistory);

// The key that makes one child of the spellings of a name: spaces at either end dropped,
// case folded and in Unicode normal form C, accents kept ("Nicolò", "nicolò", " Nicolò " and
// "Nicolo" followed by a combining grave accent are one child, "Nicolo" another). A name
// joined to another (NameJoins) counts as that one's child.
QString childKey(const QString &name);

// Reads the whole history; never fails: lines that cannot be read (damaged, or cut short by
// a crash) are counted in skipped, a file that cannot be read at all is said in error.
// Lines may end in CR LF, LF or CR alone.
HistorySummary readHistory(const QString &path);
HistorySummary summarizeHistory(QByteArrayView content);

// Reads many files as one class: a child's games from different computers are merged, each
// game known by the instant it started. A folder among the paths stands for its history
// files (historyFilesIn). joinsFile, when given, holds the joins of names.
HistorySummary readHistoryFiles(const QStringList &paths, const QString &joinsFile = {});
HistorySummary readHistoryFiles(const HistorySources &sources);

// The history files of a class folder: every storico*.csv in it, sorted by name, as paths.
QStringList historyFilesIn(const QString &folder);

// Follows history files while they are open: each refresh() reads only what was appended
// since the last one, files that appeared (a folder among the paths is looked into again
// each time), and a file that shrank or was replaced is read again from its start (with
// the rest, since its answers are mixed into the children's). It returns the whole summary;
// when nothing changed, the one it returned last. A line still without its line ending
// waits for it; a quote still open at the last line ending is a line torn by a crash, as
// at the end of a file. A joins file that changed makes the whole class be read again. Not
// thread-safe: one thread at a time may call it.
class HistoryFollower final
{
public:
    explicit HistoryFollower(QStringList paths, QString joinsFile = {});
    explicit HistoryFollower(HistorySources sources);
    ~HistoryFollower();
    HistoryFollower(const HistoryFollower &) = delete;
    HistoryFollower &operator=(const HistoryFollower &) = delete;

    void setPaths(QStringList paths);
    HistorySummary refresh();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// Reads a history piece by piece, as readHistory reads a file; for reading in a thread of
// one's own with progress, and for tests.
class HistoryReader final
{
public:
    HistoryReader();
    ~HistoryReader();
    HistoryReader(const HistoryReader &) = delete;
    HistoryReader &operator=(const HistoryReader &) = delete;

    // Takes the whole records at the start of data and returns how many bytes it took; the
    // rest must be given again, followed by what comes next. With atEnd it takes all.
    qsizetype feed(QByteArrayView data, bool atEnd);
    HistorySummary finish();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

