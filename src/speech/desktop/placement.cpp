#include "speech/desktop/placement.h"

#include <QtGlobal>

QPoint characterPosition(QPoint requested, std::optional<QPoint> clientOrigin, QSize character, const QRect &screen)
{
    const QPoint wanted = clientOrigin ? *clientOrigin + requested - layoutClientOrigin : requested;
    if (!screen.isValid())
        return wanted;
    const int x = qMax(screen.left(), qMin(wanted.x(), screen.right() + 1 - character.width()));
    const int y = qMax(screen.top(), qMin(wanted.y(), screen.bottom() + 1 - character.height()));
    return QPoint(x, y);
}

namespace {

constexpr int TailInset = 14;  // the tail's base keeps clear of the body's rounded corners
constexpr int TailBase = 16;
constexpr int OverlapWithFrame = 4;  // the tail reaches a little into the character's frame

// Shares no pixel with any of them (an empty label has none to cover).
bool coversNone(const QRect &balloon, const QList<QRect> &keepClear)
{
    for (const QRect &r : keepClear) {
        if (!balloon.intersected(r).isEmpty())
            return false;
    }
    return true;
}

int tailOffset(int wanted, int side)
{
    return qBound(TailInset, wanted, qMax(TailInset, side - TailInset - TailBase));
}

BalloonPlace aboveOrBelow(const QRect &character, QSize body, int tailLength, const QRect &area, bool above)
{
    const QSize size(body.width(), body.height() + tailLength);
    int x = character.center().x() - size.width() / 3;
    x = qBound(area.left(), x, qMax(area.left(), area.right() - size.width()));
    const int y = above ? character.top() - size.height() + OverlapWithFrame : character.bottom() - OverlapWithFrame;
    return {QRect(QPoint(x, y), size), above ? Qt::BottomEdge : Qt::TopEdge,
            tailOffset(character.center().x() - x, size.width())};
}

std::optional<BalloonPlace> beside(const QRect &character, QSize body, int tailLength, const QRect &area,
                                   const QList<QRect> &keepClear, bool right)
{
    const QSize size(body.width() + tailLength, body.height());
    const int x = right ? character.right() + 1 - OverlapWithFrame : character.left() - size.width() + OverlapWithFrame;
    // The tail points at the mouth, a quarter of the way down the figure.
    const int mouth = character.top() + character.height() / 4;
    // From level with the head, a few pixels at a time, down and up alternately.
    for (int step = 0; step <= character.height(); step += 4) {
        for (const int y : {character.top() + step, character.top() - step}) {
            const QRect frame(QPoint(x, y), size);
            if (area.contains(frame) && coversNone(frame, keepClear))
                return BalloonPlace{frame, right ? Qt::LeftEdge : Qt::RightEdge, tailOffset(mouth - y, size.height())};
        }
    }
    return std::nullopt;
}

} // namespace

BalloonPlace balloonPlace(const QRect &character, QSize body, int tailLength, const QRect &screen,
                          const QList<QRect> &keepClear)
{
    const QRect area = screen.isValid() ? screen : QRect(0, 0, 1280, 1024);
    const bool roomAbove = character.top() - body.height() - tailLength >= area.top();
    const BalloonPlace usual = aboveOrBelow(character, body, tailLength, area, roomAbove);
    if (coversNone(usual.frame, keepClear))
        return usual;
    for (const bool right : {true, false}) {
        if (const std::optional<BalloonPlace> side = beside(character, body, tailLength, area, keepClear, right))
            return *side;
    }
    const BalloonPlace below = aboveOrBelow(character, body, tailLength, area, false);
    if (roomAbove && area.contains(below.frame) && coversNone(below.frame, keepClear))
        return below;
    return usual;
}
