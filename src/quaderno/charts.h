#pragma once

#include "quaderno/notebookdata.h"
#include "storico/storico.h"

#include <QString>

class QChart;

// The child page's two charts, drawn into a chart that the page owns: every game as bars,
// and how one fact's share right moved. Each returns what its chart shows in words, for a
// screen reader.

// Right answers in green, wrong ones hatched above them: the child's games as bars (one per
// game, or per day, week or month: chartBars).
QString drawGames(QChart *chart, const ChildReport &child, const ChartBars &bars);
// The share right of tabellina x fact day by day (or week by week, month by month); a
// title only when there is no answer yet.
QString drawFact(QChart *chart, const ChildReport &child, int tabellina, int fact);
// No chart yet: the chart empty, with text as its title.
QString drawNothing(QChart *chart, const QString &text);
