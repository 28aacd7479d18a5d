#include "quaderno/charts.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>

namespace {

const QColor rightColour(0x2f, 0x9e, 0x44);
const QColor wrongColour(0xd9, 0x48, 0x0f);

void clearChart(QChart *chart)
{
    chart->removeAllSeries();
    // removeAllSeries() deletes the series; a removed axis is the caller's to delete.
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

} // namespace

QString drawNothing(QChart *chart, const QString &text)
{
    clearChart(chart);
    chart->setTitle(text);
    return text;
}

QString drawGames(QChart *chart, const ChildReport &child, const ChartBars &bars)
{
    clearChart(chart);
    auto *right = new QBarSet(QStringLiteral("Esatte"));
    auto *wrong = new QBarSet(QStringLiteral("Sbagliate"));
    right->setColor(rightColour);
    wrong->setBrush(QBrush(wrongColour, Qt::BDiagPattern));
    wrong->setBorderColor(wrongColour);
    int highest = 1;
    for (qsizetype i = 0; i < bars.labels.size(); ++i) {
        *right << bars.right[i];
        *wrong << bars.wrong[i];
        highest = std::max(highest, bars.right[i] + bars.wrong[i]);
    }
    auto *series = new QStackedBarSeries;
    series->append(right);
    series->append(wrong);
    chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    QStringList labels = bars.labels;
    for (QString &label : labels)
        label.replace(u' ', QStringLiteral("<br>"));
    axisX->append(labels);
    axisX->setTitleText(bars.axisTitle);
    auto *axisY = new QValueAxis;
    // Whole, round numbers on the scale: a step of 1, 2 or 5 times a power of ten, about
    // five steps in all.
    int step = 1;
    for (int power = 1; step * 5 < highest; power *= 10)
        for (int m : {1, 2, 5})
            if (step * 5 < highest)
                step = m * power;
    axisY->setRange(0, (highest + step - 1) / step * step);
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0);
    axisY->setTickInterval(step);
    axisY->setLabelFormat(QStringLiteral("%d"));
    axisY->setTitleText(QStringLiteral("Risposte"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisX);
    series->attachAxis(axisY);
    const QString title = QStringLiteral("Risposte esatte e sbagliate in tutte le tabelline, %1").arg(periodText(child.games));
    chart->setTitle(title);
    return title;
}

QString drawFact(QChart *chart, const ChildReport &child, int tabellina, int fact)
{
    const FactStats &stats = child.fact(tabellina, fact);
    const QString name = factText(tabellina, fact);
    if (stats.timeline.isEmpty())
        return drawNothing(chart, QStringLiteral("%1: nessuna risposta ancora").arg(name));
    clearChart(chart);
    auto *line = new QLineSeries;
    auto *dots = new QScatterSeries;
    line->setColor(rightColour);
    dots->setColor(rightColour);
    dots->setMarkerSize(7);
    QString per;
    const QList<FactPoint> points = factPoints(stats.timeline, 30, &per);
    for (const FactPoint &point : points) {
        const qreal x = qreal(point.day.startOfDay().toMSecsSinceEpoch());
        const qreal y = 100.0 * point.right / std::max(1, point.answers);
        line->append(x, y);
        dots->append(x, y);
    }
    chart->addSeries(line);
    chart->addSeries(dots);
    auto *axisX = new QDateTimeAxis;
    axisX->setFormat(QStringLiteral("dd/MM"));
    axisX->setTitleText(per.left(1).toUpper() + per.mid(1));
    // A little room either side, so that no point sits on the frame and, with a day or
    // two only, no tick repeats a date.
    QDate first = points.first().day;
    QDate last = points.last().day;
    const qint64 days = first.daysTo(last);
    const qint64 pad = std::max<qint64>(1, days / 20);
    first = first.addDays(-pad);
    last = last.addDays(pad);
    axisX->setTickCount(int(std::min<qint64>(3, first.daysTo(last) + 1)));
    if (first.year() != last.year())
        axisX->setFormat(QStringLiteral("MM/yyyy"));
    axisX->setRange(first.startOfDay(), last.startOfDay());
    // Room above 100% and below 0% too, so that a point there is drawn whole inside the
    // frame; the ticks stay on 0%, 25%, ... 100%.
    auto *axisY = new QValueAxis;
    axisY->setRange(-6, 106);
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0);
    axisY->setTickInterval(25);
    axisY->setLabelFormat(QStringLiteral("%d%%"));
    axisY->setTitleText(QStringLiteral("Esatte"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries *s : {static_cast<QAbstractSeries *>(line), static_cast<QAbstractSeries *>(dots)}) {
        s->attachAxis(axisX);
        s->attachAxis(axisY);
    }
    const FactPoint &a = stats.timeline.first();
    const FactPoint &b = stats.timeline.last();
    chart->setTitle(QStringLiteral("%1: esatte, %2 per %2").arg(name, per));
    return QStringLiteral("%1: il %2 %3 esatte su %4, il %5 %6 esatte su %7")
        .arg(name, a.day.toString(QStringLiteral("dd/MM/yyyy")))
        .arg(a.right)
        .arg(a.answers)
        .arg(b.day.toString(QStringLiteral("dd/MM/yyyy")))
        .arg(b.right)
        .arg(b.answers);
}
