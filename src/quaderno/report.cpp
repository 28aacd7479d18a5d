#include "quaderno/report.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>
#include <QtMath>

#include <algorithm>

namespace {

const QColor rightColour(0x2f, 0x9e, 0x44);
const QColor wrongColour(0xd9, 0x48, 0x0f);
const QColor ink(0x20, 0x20, 0x20);

QFont sized(double pixels, bool bold = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(1, qRound(pixels)));
    font.setBold(bold);
    return font;
}

// Paints a paragraph at the top of area, wrapped between words or, for a word wider than
// the area, anywhere; moves the area's top below it and adds what it covered to painted.
void line(QPainter &painter, QRect &area, QRect &painted, const QFont &font, const QString &text, double gapAfter)
{
    painter.setFont(font);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QRectF used = painter.boundingRect(QRectF(area), text, option);
    painter.drawText(QRectF(area), text, option);
    painted |= used.toAlignedRect();
    area.setTop(qCeil(used.bottom() + gapAfter));
}

// Right answers in green, wrong ones hatched in orange above them, one bar per game or
// group of games, its score above it and its date below on two lines.
void bars(QPainter &painter, const QRect &box, const ChartBars &chart, double unit)
{
    int highest = 1;
    for (qsizetype i = 0; i < chart.labels.size(); ++i)
        highest = std::max(highest, chart.right[i] + chart.wrong[i]);

    painter.setPen(QPen(ink, std::max(1.0, unit * 0.15)));
    painter.drawLine(box.bottomLeft(), box.bottomRight());
    painter.drawLine(box.bottomLeft(), box.topLeft());
    // A few bars keep a sensible width; many share the width.
    const double slot = double(box.width()) / std::max<qsizetype>(10, chart.labels.size());
    const double width = slot * 0.6;
    const QFont small = sized(unit * 1.5);
    painter.setFont(small);
    for (qsizetype i = 0; i < chart.labels.size(); ++i) {
        const double x = box.left() + slot * (double(i) + 0.2);
        const double rightHeight = box.height() * double(chart.right[i]) / highest;
        const double wrongHeight = box.height() * double(chart.wrong[i]) / highest;
        const QRectF right(x, box.bottom() - rightHeight, width, rightHeight);
        const QRectF wrong(x, right.top() - wrongHeight, width, wrongHeight);
        painter.setPen(Qt::NoPen);
        painter.fillRect(right, rightColour);
        painter.fillRect(wrong, QColor(0xfd, 0xe0, 0xcf));
        painter.fillRect(wrong, QBrush(wrongColour, Qt::BDiagPattern));
        painter.setPen(ink);
        // A score wider than its slot (thousands of answers in a month) gets a smaller font.
        const QString score = QStringLiteral("%1/%2").arg(chart.right[i]).arg(chart.right[i] + chart.wrong[i]);
        const double wide = QFontMetricsF(small, painter.device()).horizontalAdvance(score);
        QFont scoreFont = small;
        if (wide > slot * 0.95)
            scoreFont.setPixelSize(std::max(1, int(small.pixelSize() * slot * 0.95 / wide)));
        painter.setFont(scoreFont);
        painter.drawText(QRectF(x - slot * 0.2, wrong.top() - unit * 2.2, slot, unit * 2), Qt::AlignHCenter | Qt::AlignBottom,
                         score);
        painter.setFont(small);
        QString label = chart.labels[i];
        label.replace(u' ', u'\n');
        painter.drawText(QRectF(x - slot * 0.2, box.bottom() + unit * 0.5, slot, unit * 5), Qt::AlignHCenter | Qt::AlignTop,
                         label);
    }
}

} // namespace

QRect paintReport(QPainter &painter, const QRect &page, const ReportContent &content)
{
    // One unit is a hundredth of the width of an A4 sheet fitted in the page: every size
    // follows the page, and the whole report fits on a landscape page too.
    const double unit = std::min(page.width() / 100.0, page.height() / 141.4);
    const int margin = qRound(unit * 7);
    QRect area = page.adjusted(margin, margin, -margin, -margin);
    area.setWidth(std::min(area.width(), qRound(unit * 86)));
    QRect painted;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(ink);
    const ChildReport &child = content.child;
    const int t = content.tabellina;

    // A name as long as a file allows would push the rest off the page: it is cut.
    line(painter, area, painted, sized(unit * 4.2, true),
         QStringLiteral("Quaderno dei progressi di %1").arg(childNameText(child, 40)), unit * 1.2);
    const QString period = periodText(child.games);
    line(painter, area, painted, sized(unit * 2.2),
         QStringLiteral("Quizzolo, tabellina del %1 - partite %2 - stampato il %3")
             .arg(t)
             .arg(period.isEmpty() ? QStringLiteral("nessuna") : period,
                  content.printed.toString(QStringLiteral("dd/MM/yyyy HH:mm"))),
         unit * 3);
    if (!content.note.isEmpty())
        line(painter, area, painted, sized(unit * 2.4, true), content.note, unit * 2);
    line(painter, area, painted, sized(unit * 2.8, true), childSummaryText(child), unit * 1);
    line(painter, area, painted, sized(unit * 2.6), content.record, unit * 3);

    // Every game, of every table.
    const ChartBars chart = chartBars(child.games, barsOnPage);
    line(painter, area, painted, sized(unit * 2.8, true),
         QStringLiteral("Tutte le partite, di ogni tabellina (esatte in verde, sbagliate a righe)"), unit * 3);
    const QRect box(area.left(), area.top(), area.width(), qRound(unit * 22));
    bars(painter, box, chart, unit);
    // The axes' titles: what a bar is, below; what its height counts, along the left.
    painter.setFont(sized(unit * 1.7, true));
    const QRectF below(box.left(), box.bottom() + unit * 5, box.width(), unit * 2.4);
    painter.drawText(below, Qt::AlignHCenter | Qt::AlignTop, chart.axisTitle);
    painter.save();
    painter.translate(box.left() - unit * 2.6, box.bottom());
    painter.rotate(-90);
    painter.drawText(QRectF(0, 0, box.height(), unit * 2.4), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Risposte"));
    painter.restore();
    area.setTop(qCeil(below.bottom() + unit * 3));

    // The ten facts of the table.
    line(painter, area, painted, sized(unit * 2.8, true), QStringLiteral("I fatti della tabellina del %1").arg(t), unit * 1.5);
    const QStringList heads = factHeads();
    QList<QStringList> rows;
    for (int f = 1; f <= 10; ++f)
        rows.append(factCells(t, f, child.fact(t, f)));
    // Each column as wide as its widest text and a gap, so that no two run together; all
    // of them smaller when they would not fit the width.
    const double gap = unit * 2;
    QFont font = sized(unit * 2.4);
    QFont bold = sized(unit * 2.4, true);
    QList<double> widths(heads.size(), 0.0);
    const QFontMetricsF plain(font, painter.device());
    const QFontMetricsF strong(bold, painter.device());
    for (qsizetype c = 0; c < heads.size(); ++c) {
        widths[c] = strong.horizontalAdvance(heads[c]);
        for (const QStringList &cells : std::as_const(rows))
            widths[c] = std::max(widths[c], strong.horizontalAdvance(cells[c]));
    }
    double total = 0;
    for (double w : std::as_const(widths))
        total += w + gap;
    if (total > area.width()) {
        const double scale = area.width() / total;
        font.setPixelSize(std::max(1, int(font.pixelSize() * scale)));
        bold.setPixelSize(std::max(1, int(bold.pixelSize() * scale)));
        for (double &w : widths)
            w *= scale;
        total = area.width();
    }
    // What is left of the width goes to the gaps.
    const double spare = (area.width() - total) / double(widths.size());
    const int stateColumn = 3;
    const int rowHeight = qRound(unit * 3.6);
    auto row = [&](const QStringList &cells, bool strongRow, const QColor &stateBack) {
        painter.setFont(strongRow ? bold : font);
        double x = area.left();
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const double width = widths[c] + gap + spare;
            const QRectF cell(x, area.top(), width, rowHeight);
            if (c == stateColumn && stateBack.isValid())
                painter.fillRect(cell.adjusted(0, 1, -gap / 2, -1), stateBack);
            painter.drawText(cell.adjusted(unit * 0.5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, cells[c]);
            x += width;
        }
        area.setTop(area.top() + rowHeight);
    };
    const int tableTop = area.top();
    row(heads, true, QColor());
    painter.drawLine(area.topLeft(), area.topRight());
    for (int f = 1; f <= 10; ++f) {
        const FactStats &stats = child.fact(t, f);
        row(rows[f - 1], stats.state == FactState::DaRipassare, stateColour(stats.state));
    }
    const int tableBottom = area.top();
    area.setTop(area.top() + qRound(unit * 2));
    line(painter, area, painted, sized(unit * 2.6, true), weakFactsText(child, t), 0);

    painter.restore();
    return painted | box | QRect(area.left(), tableTop, area.width(), tableBottom - tableTop);
}

QRect paintClass(QPainter &painter, const QRect &page, const ClassContent &content)
{
    const double unit = std::min(page.width() / 141.4, page.height() / 100.0);
    const int margin = qRound(unit * 6);
    QRect area = page.adjusted(margin, margin, -margin, -margin);
    QRect painted;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(ink);

    const int t = content.grid.tabellina;
    line(painter, area, painted, sized(unit * 3.6, true), QStringLiteral("La classe nella tabellina del %1").arg(t), unit * 0.8);
    line(painter, area, painted, sized(unit * 2.0),
         QStringLiteral("Quizzolo - partite %1 - stampato il %2")
             .arg(content.period.isEmpty() ? QStringLiteral("nessuna") : content.period,
                  content.printed.toString(QStringLiteral("dd/MM/yyyy HH:mm"))),
         unit * 1.5);
    if (!content.note.isEmpty())
        line(painter, area, painted, sized(unit * 2.2, true), content.note, unit * 1);
    line(painter, area, painted, sized(unit * 2.3, true), content.grid.weakText, unit * 0.8);
    line(painter, area, painted, sized(unit * 2.0), classLegendText(), unit * 1.5);

    // The rows share what is left of the page, at most a comfortable height each.
    const int rows = int(content.grid.keys.size()) + 1;
    const double rowHeight = std::min(unit * 4.0, double(area.height()) / std::max(1, rows));
    const double nameWidth = area.width() * 0.24;
    const double cellWidth = (area.width() - nameWidth) / 10.0;
    const QFont font = sized(rowHeight * 0.62);
    const QFont bold = sized(rowHeight * 0.62, true);
    double y = area.top();
    painter.setFont(bold);
    painter.drawText(QRectF(area.left(), y, nameWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Bambino"));
    for (int f = 1; f <= 10; ++f)
        painter.drawText(QRectF(area.left() + nameWidth + cellWidth * (f - 1), y, cellWidth, rowHeight), Qt::AlignCenter,
                         factText(t, f));
    y += rowHeight;
    for (qsizetype r = 0; r < content.grid.keys.size(); ++r) {
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(QRectF(area.left(), y, nameWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         shortened(content.grid.names[r], 28));
        for (int f = 0; f < 10; ++f) {
            const FactState s = content.grid.states[r][size_t(f)];
            const QRectF cell(area.left() + nameWidth + cellWidth * f, y, cellWidth, rowHeight);
            painter.fillRect(cell.adjusted(1, 1, -1, -1), stateColour(s));
            painter.drawText(cell, Qt::AlignCenter, stateSymbol(s));
        }
        painter.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), std::max(1.0, unit * 0.05)));
        painter.drawLine(QPointF(area.left(), y + rowHeight), QPointF(area.right(), y + rowHeight));
        y += rowHeight;
    }
    const QRect grid(area.left(), area.top(), area.width(), qCeil(y - area.top()));
    painter.restore();
    return painted | grid;
}
