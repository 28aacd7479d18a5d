#include "countdown/countdown.h"

#include "core/runtimeerror.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// At least two digits with a leading zero; a negative value keeps its sign in
// front ("-01"). Only a clock set by hand can show either.
QString twoDigits(double value)
{
    if (!(std::fabs(value) < 1e15))
        return QString::number(value, 'f', 0);
    const long long n = std::llround(value);
    const QString digits = QString::number(n < 0 ? -n : n).rightJustified(2, u'0');
    return n < 0 ? u"-"_s + digits : digits;
}

} // namespace

void Countdown::prepareTotal()
{
    // A float becomes a 16-bit count by rounding half to even; out of range is an overflow.
    const double total = std::nearbyint(double(m_secondi) + 420.0);
    if (!(total >= -32768.0 && total <= 32767.0))
        throw RuntimeError(RuntimeError::Overflow);
    m_totsecondi = qint16(total);
}

void Countdown::start()
{
    m_ore = 0;
    m_minuti = 7;
    m_secondi = 0;
    m_totsecondi = 420;
}

Countdown::Tick Countdown::tick(const QString &display)
{
    // The display is tested before the total: in a normal game the clock has shown
    // "00:00:00" for one second when the total reaches 0, and that ends the game.
    if (display == u"00:00:00")
        return Tick::DisplayExpired;
    if (m_totsecondi <= 0)
        return Tick::TimeUp;

    // Each decrement below is made on a positive value only, or on the total just
    // tested positive, so none leaves its 16-bit range.
    if (m_secondi == 0) {
        if (m_minuti > 0) {
            --m_minuti;
            m_secondi = 60;
        } else if (m_minuti == 0) {
            if (m_ore > 0) {
                --m_ore;
                m_minuti = 59;
                m_secondi = 60;
            } else {
                m_ore = 0;
                m_minuti = 0;
            }
        }
    }
    m_secondi -= 1;
    --m_totsecondi;
    return Tick::Running;
}

QString Countdown::display() const
{
    return twoDigits(m_ore) + u':' + twoDigits(m_minuti) + u':' + twoDigits(m_secondi);
}

void Countdown::set(qint16 ore, qint16 minuti, float secondi, qint16 totsecondi)
{
    m_ore = ore;
    m_minuti = minuti;
    m_secondi = secondi;
    m_totsecondi = totsecondi;
}
