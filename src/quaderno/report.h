#pragma once

#include "storico/storico.h"

#include <QDateTime>
#include <QRect>
#include <QString>

class QPainter;

// What one child's printed page shows.
struct ReportContent
{
    ChildReport child;
    QString record;      // recordText() of the stored record
    QDateTime printed;   // when the page is made, in its heading
};

// Paints one child's report on one page: heading, summary, the last games as bars, the
// table of the ten facts with the ones to practise, the record. Everything is sized from
// page, so any painter works: a printer, a PDF file, an image. Returns the area painted,
// which lies inside page.
QRect paintReport(QPainter &painter, const QRect &page, const ReportContent &content);

// How many of a child's last games the chart and the page show.
inline constexpr int gamesShown = 20;
