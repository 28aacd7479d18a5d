#include "quaderno/report.h"

#include "quaderno/notebookdata.h"

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

// Right answers in green, wrong ones hatched in orange above them, one bar per game,
// its score above it and its day below.
void bars(QPainter &painter, const QRect &box, const ChildReport &child, double unit)
{
    const qsizetype first = std::max<qsizetype>(0, child.games.size() - gamesShown);
    const qsizetype count = child.games.size() - first;
    int highest = 1;
    for (qsizetype i = first; i < child.games.size(); ++i)
        highest = std::max(highest, child.games[i].right + child.games[i].wrong);

    painter.setPen(QPen(ink, std::max(1.0, unit * 0.15)));
    painter.drawLine(box.bottomLeft(), box.bottomRight());
    if (count == 0)
        return;
    const double slot = double(box.width()) / gamesShown;
    const double width = slot * 0.6;
    const QFont small = sized(unit * 1.6);
    for (qsizetype i = 0; i < count; ++i) {
        const GameSummary &game = child.games[first + i];
        const double x = box.left() + slot * (double(i) + 0.2);
        const double rightHeight = box.height() * double(game.right) / highest;
        const double wrongHeight = box.height() * double(game.wrong) / highest;
        const QRectF right(x, box.bottom() - rightHeight, width, rightHeight);
        const QRectF wrong(x, right.top() - wrongHeight, width, wrongHeight);
        painter.setPen(Qt::NoPen);
        painter.fillRect(right, rightColour);
        painter.fillRect(wrong, QColor(0xfd, 0xe0, 0xcf));
        painter.fillRect(wrong, QBrush(wrongColour, Qt::BDiagPattern));
        painter.setPen(ink);
        painter.setFont(small);
        painter.drawText(QRectF(x - slot * 0.2, wrong.top() - unit * 2.2, slot, unit * 2),
                         Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("%1/%2").arg(game.right).arg(game.right + game.wrong));
        painter.drawText(QRectF(x - slot * 0.2, box.bottom() + unit * 0.5, slot, unit * 2), Qt::AlignHCenter | Qt::AlignTop,
                         game.started.toString(QStringLiteral("dd/MM")));
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
    // A name as long as a file allows would push the rest off the page.
    ChildReport child = content.child;
    child.name = shortened(child.name);

    line(painter, area, painted, sized(unit * 4.2, true), QStringLiteral("Quaderno dei progressi di %1").arg(child.name),
         unit * 1.2);
    line(painter, area, painted, sized(unit * 2.2),
         QStringLiteral("Quizzolo, la tabellina del 2 - stampato il %1")
             .arg(content.printed.toString(QStringLiteral("dd/MM/yyyy HH:mm"))),
         unit * 3);
    line(painter, area, painted, sized(unit * 2.8, true), childSummaryText(child), unit * 1);
    line(painter, area, painted, sized(unit * 2.6), content.record, unit * 3);

    // The last games.
    const qsizetype shown = std::min<qsizetype>(child.games.size(), gamesShown);
    line(painter, area, painted, sized(unit * 2.8, true),
         shown == child.games.size() ? QStringLiteral("Le partite (esatte in verde, sbagliate a righe)")
                                     : QStringLiteral("Le ultime %1 partite (esatte in verde, sbagliate a righe)").arg(shown),
         unit * 3);
    const QRect chart(area.left(), area.top(), area.width(), qRound(unit * 22));
    bars(painter, chart, child, unit);
    area.setTop(chart.bottom() + qRound(unit * 6));

    // The ten facts.
    line(painter, area, painted, sized(unit * 2.8, true), QStringLiteral("I fatti della tabellina"), unit * 1.5);
    const QStringList heads = {QStringLiteral("Fatto"), QStringLiteral("Risposte"), QStringLiteral("Esatte"),
                               QStringLiteral("Tempo mediano"), QStringLiteral("")};
    const double columns[] = {0, 0.16, 0.34, 0.52, 0.74, 1.0};
    const int rowHeight = qRound(unit * 3.6);
    auto row = [&](const QStringList &cells, bool bold) {
        painter.setFont(sized(unit * 2.4, bold));
        for (int c = 0; c < cells.size(); ++c) {
            const QRect cell(area.left() + qRound(area.width() * columns[c]), area.top(),
                             qRound(area.width() * (columns[c + 1] - columns[c])), rowHeight);
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, cells[c]);
        }
        area.setTop(area.top() + rowHeight);
    };
    const int tableTop = area.top();
    row(heads, true);
    painter.drawLine(area.topLeft(), area.topRight());
    for (int f = 1; f <= 10; ++f) {
        const FactStats &stats = child.facts[size_t(f - 1)];
        row(factCells(f, stats), stats.weak);
    }
    const int tableBottom = area.top();
    area.setTop(area.top() + qRound(unit * 2));
    line(painter, area, painted, sized(unit * 2.6, true), weakFactsText(child), 0);

    painter.restore();
    return painted | chart | QRect(area.left(), tableTop, area.width(), tableBottom - tableTop);
}
