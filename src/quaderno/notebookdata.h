#pragma once

#include "storico/storico.h"

#include <QDateTime>
#include <QString>

// What the notebook says, computed without widgets: where it reads, the stored record,
// and the Italian sentences and cells it shows and prints.

// The sentence shown when no game has been recorded yet.
inline const QString emptyHistoryText = QStringLiteral(
    "Non ci sono ancora partite registrate: il quaderno si riempie quando un bambino gioca a Quizzolo.");

// The record as the game stored it, read without creating or changing its files.
struct StoredRecord
{
    QString punti;  // "" when there is none
    QString nome;
};
StoredRecord readStoredRecord(const QString &folder);
QString recordText(const StoredRecord &record);

// A name or a record cut to what fits a heading or a line: at most max characters, the
// cut marked by an ellipsis; only the first line of a text of several.
QString shortened(const QString &text, int max = 40);

// "Lucia: 3 partite, 25 risposte, 20 esatte (80%)".
QString childSummaryText(const ChildReport &child);
// "Da ripassare: 2 x 7, 2 x 8." or the sentence for a child with nothing to practise.
QString weakFactsText(const ChildReport &child);
// "" for none, else how many lines of the file could not be read.
QString skippedText(qint64 skipped);

// The cells of the facts table, for 2 x fact.
QString factText(int fact);
QString percentText(const FactStats &stats);
QString medianText(const FactStats &stats);
QString weakMark(const FactStats &stats);
// One row of the facts' table, as the window and the printed page show it: the fact,
// answers given, share right, median time, the practise mark.
QStringList factCells(int fact, const FactStats &stats);

// The labels under the bars of games, each its start ("07/12", then "10:15" below); a
// label that would repeat an earlier one gets its number, as the chart needs them distinct.
QStringList gameLabels(const QList<GameSummary> &games);
