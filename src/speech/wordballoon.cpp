#include "speech/wordballoon.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
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
    place(anchor);
    show();
    if (!QApplication::activeModalWidget())
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
    const QSize wanted(qCeil(m_document.textWidth()) + 2 * Padding, visibleLines * m_lineHeight + 2 * Padding + Tail);
    if (wanted != size()) {
        setFixedSize(wanted);
        if (isVisible())
            place(m_anchor);
    }
}

void WordBalloon::place(const QRect &anchor)
{
    const QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    // Above the head when there is room, otherwise below the feet.
    m_tailDown = anchor.top() - height() >= area.top();
    int x = anchor.center().x() - width() / 3;
    x = qBound(area.left(), x, qMax(area.left(), area.right() - width()));
    const int y = m_tailDown ? anchor.top() - height() + 4 : anchor.bottom() - 4;
    // A balloon for one short word is narrower than the tail's usual range.
    m_tailX = qBound(Padding + 4, anchor.center().x() - x, qMax(Padding + 4, width() - Padding - 20));
    move(x, y);
    setMask(QRegion(outline().toFillPolygon().toPolygon()));
    update();
}

QPainterPath WordBalloon::outline() const
{
    const QRectF body = m_tailDown ? QRectF(0.5, 0.5, width() - 1, height() - Tail - 1)
                                   : QRectF(0.5, Tail + 0.5, width() - 1, height() - Tail - 1);
    QPainterPath path;
    path.addRoundedRect(body, 12, 12);
    QPainterPath tail;
    if (m_tailDown) {
        tail.moveTo(m_tailX, body.bottom() - 2);
        tail.lineTo(m_tailX + 16, body.bottom() - 2);
        tail.lineTo(m_tailX - 2, height() - 0.5);
    } else {
        tail.moveTo(m_tailX, body.top() + 2);
        tail.lineTo(m_tailX + 16, body.top() + 2);
        tail.lineTo(m_tailX - 2, 0.5);
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
    const int top = (m_tailDown ? 0 : Tail) + Padding;
    painter.translate(Padding, top);
    const QRect clip(0, 0, qCeil(m_document.textWidth()), MaxLines * m_lineHeight);
    painter.setClipRect(clip);
    painter.translate(0, -m_firstLine * m_lineHeight);
    m_document.drawContents(&painter);
}
