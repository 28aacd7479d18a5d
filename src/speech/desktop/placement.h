#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// MoveTo positions are in the coordinates of the 800 x 600 screen the game's window was
// laid out on. Centred there, with its border, title bar and menu bar, the window's
// client area (below the menu bar) started at this point.
inline constexpr QPoint layoutClientOrigin(7, 41);

// Where a character of the given size puts its top-left corner for MoveTo(requested).
// With the main window on screen (its client area's top-left corner at clientOrigin, in
// screen coordinates) that is the client point requested - layoutClientOrigin, wherever
// the window stands; without one it is the screen point requested. Either way the
// character stays inside screen (a character larger than the screen keeps its top-left
// corner on it).
QPoint characterPosition(QPoint requested, std::optional<QPoint> clientOrigin, QSize character, const QRect &screen);

// Where a speech balloon stands for a character whose frame is on the screen at
// character, and where its tail leaves it.
struct BalloonPlace
{
    QRect frame;                     // the balloon, tail included, on the screen
    Qt::Edge tail = Qt::BottomEdge;  // the side its tail leaves from, towards the character
    int tailAt = 0;                  // where along that side, from the balloon's own corner
};

// A balloon whose body (the rounded box around the text) has the given size, with a tail
// of tailLength, stands above the character's head when there is room on screen, otherwise
// below its feet. When that place would cover one of keepClear (screen rectangles that must
// stay in sight), it stands beside the character instead, on its right or else on its
// left, as near its head as it can, wholly on screen and covering none of them; failing
// that, it stands below the feet if that place covers none, and where it usually stands
// when no place does.
BalloonPlace balloonPlace(const QRect &character, QSize body, int tailLength, const QRect &screen,
                          const QList<QRect> &keepClear);
