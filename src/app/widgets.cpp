#include "app/widgets.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <qdrawutil.h>

Shape::Shape(Kind kind, QColor fill, QColor back, QWidget *parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_fill(fill)
    , m_back(back)
{
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setFocusPolicy(Qt::NoFocus);
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPen border(palette().color(QPalette::WindowText), 1);
    if (m_kind == Kind::Rectangle) {
        p.fillRect(rect(), m_fill);
        p.setPen(border);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    const int side = qMin(width(), height());
    const QRect circle((width() - side) / 2, (height() - side) / 2, side - 1, side - 1);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(border);
    p.setBrush(m_fill);
    p.drawEllipse(circle);
}

FramedLabel::FramedLabel(const QString &caption, QWidget *parent)
    : QLabel(caption, parent)
{
    // The box keeps its one pixel of room around the caption; only its colour is ours.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    // Qt would pad a framed label by the width of an "x" on its aligned sides (36 pixels
    // under a 48-point caption): the box hugs its caption instead.
    setIndent(0);
}

QColor FramedLabel::frameColour()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

void FramedLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    QPainter p(this);
    p.setPen(frameColour());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

Surface::Surface(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void Surface::paintGradient(const Question &q)
{
    m_question = q;
    update();
}

void Surface::clearDrawing()
{
    if (!m_question)
        return;
    m_question.reset();
    update();
}

void Surface::paintEvent(QPaintEvent *event)
{
    if (!m_question)
        return;
    // 256 bands, each 1/256 of the client height; edges rounded so they meet exactly.
    QPainter p(this);
    const QRect dirty = event->rect();
    const int h = height();
    for (int i = 0; i < gradientBands; ++i) {
        const int top = (2 * i * h + 256) / 512;
        const int bottom = ((2 * i + 2) * h + 256) / 512;
        if (bottom <= dirty.top() || top > dirty.bottom())
            continue;
        const Rgb c = bandColour(i, *m_question);
        p.fillRect(QRect(0, top, width(), bottom - top), QColor(c.red, c.green, c.blue));
    }
}

GraphicalButton::GraphicalButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    // As on the desktop the program was made for: Enter clicks the focused button.
    setAutoDefault(true);
    // A button shows the usual arrow, not the window's pointer, unless it is given its own.
    setCursor(Qt::ArrowCursor);
}

void GraphicalButton::setImages(const QIcon &normal, const QIcon &pressed, const QIcon &disabled)
{
    m_normal = normal;
    m_pressed = pressed.isNull() ? normal : pressed;
    m_disabled = disabled.isNull() ? normal : disabled;
    update();
}

void GraphicalButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // A flat face in the button's own colour inside the raised edge of a classic button,
    // sunken while it is held down. Disabled, it keeps its face and its edge: only the
    // image and the caption say so.
    QPalette edge = palette();
    edge.setCurrentColorGroup(QPalette::Active);
    const QBrush face = edge.button();
    qDrawWinButton(&p, rect(), edge, isDown(), &face);

    const QIcon &image = !isEnabled() ? m_disabled : isDown() ? m_pressed : m_normal;
    const QSize imageSize(32, 32);
    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown())
        area.translate(1, 1);
    const int textHeight = fontMetrics().height();
    const int top = area.top() + qMax(0, (area.height() - imageSize.height() - textHeight) / 2);
    if (!image.isNull()) {
        const QRect imageRect(area.left() + (area.width() - imageSize.width()) / 2, top,
                              imageSize.width(), imageSize.height());
        image.paint(&p, imageRect);
    }
    const QRect textRect(area.left(), top + imageSize.height(), area.width(), textHeight);
    p.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic, palette(),
                   isEnabled(), text(), QPalette::ButtonText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
