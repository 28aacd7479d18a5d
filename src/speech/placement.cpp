#include "speech/placement.h"

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
