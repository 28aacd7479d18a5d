#pragma once

#include "scelte/scelte.h"
#include "storico/factrule.h"
#include "storico/storico.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the notebook says, computed without widgets: the stored record, and the Italian
// sentences, cells, bars and grid it shows and prints.

// The sentence shown when no game has been recorded yet.
inline const QString emptyHistoryText = QStringLiteral(
    "Non ci sono ancora partite registrate: il quaderno si riempie quando un bambino gioca a Quizzolo.");
// The sentence shown for a file in which no line is a line of the history.
inline const QString notHistoryText = QStringLiteral("Questo file non sembra uno storico di Quizzolo.");

// The record of one table as the game stored it on this computer, read without creating
// or changing its files.
struct StoredRecord
{
    QString punti;  // "" when there is none
    QString nome;
};
StoredRecord readStoredRecord(const QString &folder, int tabellina = 2);
// "Record di questo computer nella tabellina del 7: 12 punti, di Lucia."
QString recordText(const StoredRecord &record, int tabellina = 2);
// "Miglior partita nella tabellina del 7: 28 esatte, 03/12/2026.": the child's game of that
// table with the most right answers (the first, of equals).
QString bestGameText(const ChildReport &child, int tabellina);
// The line below a child's facts: this computer's record when the history is this
// computer's own (record given), else the child's best game, since the record kept on this
// computer means nothing for a class.
QString recordLine(const ChildReport &child, int tabellina, const std::optional<StoredRecord> &record);

// A name or a record cut to what fits a heading or a line: at most max characters, the
// cut marked by an ellipsis; only the first line of a text of several.
QString shortened(const QString &text, int max = 40);

// "Marco (con Marcp)": the name with the names joined to it; cut to max characters when
// max is given.
QString childNameText(const ChildReport &child, int max = -1);
// "Lucia: 3 partite, 25 risposte, 20 esatte (80%)", over the games of every table.
QString childSummaryText(const ChildReport &child);
// "Lucia - ultima partita 07/12/2026", as the list of children shows it: the name cut to
// max characters (whole for -1).
QString childListText(const ChildReport &child, int max = 40);
// "Da ripassare: 7 x 7, 7 x 8." or "Nessun fatto da ripassare".
QString weakFactsText(const ChildReport &child, int tabellina);
// "" for none, else how many lines of each file could not be read, a line a file.
QString skippedText(const HistorySummary &summary);
// "dal 02/09/2026 al 30/11/2026", or "il 02/09/2026" for one day; "" with no games.
QString periodText(const QList<GameSummary> &games);

// The cells of the facts table.
QString factText(int tabellina, int fact);
// "7 su 10": the right answers among the last ones, which the state is judged on.
QString evidenceText(const FactStats &stats);
// Their median time, rounded up to the tenth of a second ("3,1 s" for 3000.5 ms), so that
// two facts shown with the same figures never have different states.
QString medianText(const FactStats &stats);
// The heads of the facts table and one row of it, as the window and the printed page show
// them: the fact, the right answers among the last ones, their median time, the state in
// words, all the answers ever given.
QStringList factHeads();
QStringList factCells(int tabellina, int fact, const FactStats &stats);
// The row in words, for a tooltip and a screen reader.
QString factDescription(int tabellina, int fact, const FactStats &stats);
// The colour behind a state; always shown beside its word or symbol.
QColor stateColour(FactState state);
// The class grid's mark of a state: one symbol, explained by classLegendText.
QString stateSymbol(FactState state);
QString classLegendText();

// The games as the chart's bars: one per game while they fit in maxBars, else one per
// day, else one per week, else one per month.
struct ChartBars
{
    enum class By { Game, Day, Week, Month };
    By by = By::Game;
    QStringList labels;      // distinct, short: "07/12 10:15", "07/12", "sett. 07/12", "dic 2026"
    QList<int> right;
    QList<int> wrong;
    QString axisTitle;       // what one bar is: "Partite", "Giorni", ...
};
ChartBars chartBars(const QList<GameSummary> &games, int maxBars);

// A fact's points, as its chart shows them: one a day while they are at most maxPoints,
// else summed by week (from Monday), else by month; each point dated at its group's
// start. per: "giorno", "settimana" or "mese".
QList<FactPoint> factPoints(const QList<FactPoint> &timeline, int maxPoints, QString *per = nullptr);

// The class at a glance for one table: children (rows, in list order) by facts.
struct ClassGrid
{
    int tabellina = 2;
    QStringList keys;
    QStringList names;                           // childNameText, whole
    QList<std::array<FactState, 10>> states;
    QList<std::array<QString, 10>> figures;      // "7 su 10, 3,1 s": what each state is judged on
    int players = 0;                             // the children who answered the table's problems
    QString weakText;  // the facts that most of them have to practise
    QStringList tables;     // the table each child starts on: "del 7", "tutte, ripasso mirato"
    QStringList tablesWhy;  // whose choice it is: "scelta per il bambino", "della classe"...
};
ClassGrid classGrid(const HistorySummary &summary, int tabellina);
// What the notebook says of a class folder out of reach since `since`: "La cartella della
// classe non si raggiunge (dalle 10:32): i dati sono quelli letti allora.", or, when nothing
// of it was read yet, that nothing was; "dal 07/12/2026 alle 10:32" on another day than now.
QString outOfReachText(const QDateTime &since, bool read, const QDateTime &now);

// The table each child of the grid starts on, as the game decides it from the choices.
void setTables(ClassGrid &grid, const Scelte::Tutte &choices);
