#pragma once

#include "storico/factrule.h"
#include "storico/storico.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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

// A name or a record cut to what fits a heading or a line: at most max characters, the
// cut marked by an ellipsis; only the first line of a text of several.
QString shortened(const QString &text, int max = 40);

// "Lucia: 3 partite, 25 risposte, 20 esatte (80%)", over the games of every table.
QString childSummaryText(const ChildReport &child);
// "Lucia - ultima partita 07/12/2026", as the list of children shows it.
QString childListText(const ChildReport &child);
// "Da ripassare: 7 x 7, 7 x 8." or "Nessun fatto da ripassare".
QString weakFactsText(const ChildReport &child, int tabellina);
// "" for none, else how many lines could not be read.
QString skippedText(qint64 skipped);
// "dal 02/09/2026 al 30/11/2026", or "il 02/09/2026" for one day; "" with no games.
QString periodText(const QList<GameSummary> &games);

// The cells of the facts table.
QString factText(int tabellina, int fact);
QString percentText(const FactStats &stats);
QString medianText(const FactStats &stats);
// One row of the facts' table, as the window and the printed page show it: the fact,
// answers given, share right, median time, the state in words.
QStringList factCells(int tabellina, int fact, const FactStats &stats);
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
    QStringList keys;
    QStringList names;
    QList<std::array<FactState, 10>> states;
    QString weakText;  // the facts that most of the class has to practise
};
ClassGrid classGrid(const HistorySummary &summary, int tabellina);
