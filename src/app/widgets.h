#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "drill/question.h"

#include <optional>

// A rectangle or a circle (the shorter side of its box, centred) with a solid fill,
// an opaque back and a one-pixel border in the window-text colour.
class Shape final : public QWidget
{
public:
    enum class Kind { Rectangle, Circle };
    Shape(Kind kind, QColor fill, QColor back, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    Kind m_kind;
    QColor m_fill;
    QColor m_back;
};

// A label with a single-line border. The border is drawn in the window-frame colour,
// whatever colour the label's own text has.
class FramedLabel final : public QLabel
{
public:
    FramedLabel(const QString &caption, QWidget *parent);
    // Qt's palette has no window-frame role: the scheme's own window text colour (black in
    // a light scheme) is the dark line window frames are drawn with.
    static QColor frameColour();

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The window's client area. It remembers the gradient painted for the current problem
// and draws it behind the controls on every repaint until it is cleared.
class Surface final : public QWidget
{
public:
    explicit Surface(QWidget *parent = nullptr);
    void paintGradient(const Question &q);
    void clearDrawing();

protected:
    void paintEvent(QPaintEvent *) override;

private:
    std::optional<Question> m_question;
};

// A push button that shows its image above its caption, with one image each for its
// normal, pressed and disabled looks. Enter or Space clicks it when it has the focus.
class GraphicalButton final : public QPushButton
{
public:
    GraphicalButton(const QString &caption, QWidget *parent);
    void setImages(const QIcon &normal, const QIcon &pressed, const QIcon &disabled);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QIcon m_normal;
    QIcon m_pressed;
    QIcon m_disabled;
};
