#include "speech/desktop/wordballoon.h"

#include "speech/desktop/placement.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>

namespace {

constexpr int Padding = 10;
constexpr int Tail = 16;
constexpr int MaxTextWidth = 280;
constexpr int MaxLines = 4;
constexpr int LingerMs = 1200;
const QColor Ink(0x2b, 0x1d, 0x3a);
const QColor Paper(0xff, 0xfd, 0xf2);
const QColor Mark(0xff, 0xd5, 0x4a);

} // namespace

WordBalloon::WordBalloon(QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                  | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("agentBalloon"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(17);
    font.setBold(true);
    m_document.setDefaultFont(font);
    m_document.setDocumentMargin(0);
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void WordBalloon::say(const QString &text, const QRect &anchor)
{
    m_hideTimer.stop();
    m_text = text;
    m_markPosition = 0;
    m_markLength = 0;
    m_firstLine = 0;
    m_anchor = anchor;
    setAccessibleName(text);
    relayout();
    place();
    show();
    // Never over a message box the program is waiting on: a hidden balloon shown again is
    // mapped on top of every window, so the box is raised back over it.
    if (QWidget *box = QApplication::activeModalWidget())
        box->raise();
    else
        raise();
}

void WordBalloon::markWord(qsizetype position, qsizetype length)
{
    m_markPosition = qBound<qsizetype>(0, position, m_text.size());
    m_markLength = qBound<qsizetype>(0, length, m_text.size() - m_markPosition);
    relayout();
    update();
}

void WordBalloon::finishSoon()
{
    m_markLength = 0;
    relayout();
    update();
    m_hideTimer.start(LingerMs);
}

void WordBalloon::setKeptInSight(const QList<QWidget *> &controls)
{
    for (QWidget *control : std::as_const(m_keptInSight)) {
        if (control)
            control->removeEventFilter(this);
    }
    m_keptInSight.clear();
    for (QWidget *control : controls) {
        m_keptInSight.append(control);
        control->installEventFilter(this);
    }
}

bool WordBalloon::eventFilter(QObject *watched, QEvent *event)
{
    // A control shown, hidden, moved or resized under the balloon: it moves at once.
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
        if (isVisible())
            place();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void WordBalloon::relayout()
{
    const QString before = m_text.left(m_markPosition).toHtmlEscaped();
    const QString word = m_text.mid(m_markPosition, m_markLength).toHtmlEscaped();
    const QString after = m_text.mid(m_markPosition + m_markLength).toHtmlEscaped();
    m_document.setHtml(QStringLiteral("<span style=\"color:%1\">%2<span style=\"background-color:%3\">%4</span>%5</span>")
                           .arg(Ink.name(), before, Mark.name(), word, after));
    m_document.setTextWidth(-1);
    m_document.setTextWidth(qMin<qreal>(MaxTextWidth, m_document.idealWidth() + 1));

    // Keep the line with the word being heard in sight.
    const QTextBlock block = m_document.begin();
    QTextLayout *layout = block.layout();
    const int lines = layout ? layout->lineCount() : 1;
    m_lineHeight = lines > 0 && layout ? qCeil(layout->lineAt(0).height()) : QFontMetrics(m_document.defaultFont()).height();
    if (layout && m_markLength > 0) {
        const int current = layout->lineForTextPosition(int(m_markPosition)).lineNumber();
        if (current >= m_firstLine + MaxLines)
            m_firstLine = current - MaxLines + 1;
        else if (current < m_firstLine)
            m_firstLine = current;
    }
    const int visibleLines = qMin(lines, MaxLines);
    const QSize wanted(qCeil(m_document.textWidth()) + 2 * Padding, visibleLines * m_lineHeight + 2 * Padding);
    if (wanted != m_bodySize) {
        m_bodySize = wanted;
        if (isVisible())
            place();
    }
}

void WordBalloon::place()
{
    const QScreen *screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    QList<QRect> keepClear;
    for (const QWidget *control : std::as_const(m_keptInSight)) {
        if (control && control->isVisible())
            keepClear.append(QRect(control->mapToGlobal(QPoint(0, 0)), control->size()));
    }
    const BalloonPlace where = balloonPlace(m_anchor, m_bodySize, Tail, area, keepClear);
    // Most changes under a balloon on screen leave it where it is: no new shape to send.
    if (isVisible() && where.frame == geometry() && where.tail == m_tail && where.tailAt == m_tailAt) {
        update();
        return;
    }
    m_tail = where.tail;
    m_tailAt = where.tailAt;
    setFixedSize(where.frame.size());
    move(where.frame.topLeft());
    setMask(QRegion(outline().toFillPolygon().toPolygon()));
    update();
}

QRect WordBalloon::body() const
{
    return QRect(QPoint(m_tail == Qt::LeftEdge ? Tail : 0, m_tail == Qt::TopEdge ? Tail : 0), m_bodySize);
}

QPainterPath WordBalloon::outline() const
{
    const QRectF box = QRectF(body()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(box, 12, 12);
    // The tail's base lies just inside the box; its tip reaches the balloon's edge.
    QPainterPath tail;
    switch (m_tail) {
    case Qt::BottomEdge:
        tail.moveTo(m_tailAt, box.bottom() - 2);
        tail.lineTo(m_tailAt + 16, box.bottom() - 2);
        tail.lineTo(m_tailAt - 2, height() - 0.5);
        break;
    case Qt::TopEdge:
        tail.moveTo(m_tailAt, box.top() + 2);
        tail.lineTo(m_tailAt + 16, box.top() + 2);
        tail.lineTo(m_tailAt - 2, 0.5);
        break;
    case Qt::LeftEdge:
        tail.moveTo(box.left() + 2, m_tailAt);
        tail.lineTo(box.left() + 2, m_tailAt + 16);
        tail.lineTo(0.5, m_tailAt - 2);
        break;
    case Qt::RightEdge:
        tail.moveTo(box.right() - 2, m_tailAt);
        tail.lineTo(box.right() - 2, m_tailAt + 16);
        tail.lineTo(width() - 0.5, m_tailAt - 2);
        break;
    }
    tail.closeSubpath();
    return path.united(tail);
}

void WordBalloon::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Ink);
    painter.setPen(QPen(Ink, 2));
    painter.setBrush(Paper);
    painter.drawPath(outline());
    painter.translate(body().topLeft() + QPoint(Padding, Padding));
    const QRect clip(0, 0, qCeil(m_document.textWidth()), MaxLines * m_lineHeight);
    painter.setClipRect(clip);
    painter.translate(0, -m_firstLine * m_lineHeight);
    m_document.drawContents(&painter);
}
