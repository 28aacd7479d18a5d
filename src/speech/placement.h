#pragma once

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
