#pragma once

#include "quaderno/notebookdata.h"
#include "storico/storico.h"

#include <QDateTime>
#include <QRect>
#include <QString>

class QPainter;

// What one child's printed page shows.
struct ReportContent
{
    ChildReport child;
    int tabellina = 2;   // the table whose facts are listed
    QString record;      // recordLine(): this computer's record, or the child's best game
    QDateTime printed;   // when the page is made, in its heading
    QString note;        // under the heading when not empty: a class folder out of reach
};

// Paints one child's report on one page: heading with the period and the table, summary,
// every game as bars (grouped by day, week or month when they are many), the table of the
// ten facts with their states, the record. Everything is sized from page, so any painter
// works: a printer, a PDF file, an image. Returns the area painted, inside page.
QRect paintReport(QPainter &painter, const QRect &page, const ReportContent &content);

// How many bars the printed chart holds at most.
inline constexpr int barsOnPage = 16;

// What the class's printed page shows.
struct ClassContent
{
    ClassGrid grid;      // of the table it names
    QString period;      // periodText() of every game of the class
    QDateTime printed;
    QString note;        // as on a child's page
};

// Paints the class grid on one page (meant for a landscape page): a row per child, a
// column per fact, each cell its symbol on its colour, the legend and the facts most of
// the class has to practise. Rows shrink to fit a long class. Returns the area painted.
QRect paintClass(QPainter &painter, const QRect &page, const ClassContent &content);
