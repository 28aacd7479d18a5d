#pragma once

#include <QString>

// Counts the game clock down one second at a time and says when the game is over.
// It never touches a widget or a timer; the window calls tick() once a second with
// the text its clock label shows, and writes display() back after a Running tick.
class Countdown final
{
public:
    enum class Tick {
        Running,        // one second counted down; display() is the new text
        DisplayExpired, // the display read "00:00:00": the game is left
        TimeUp,         // the total ran out first: "Tempo scaduto", then the game is left
    };

    // The total set just before the clock starts: secondi + 420, rounded.
    void prepareTotal();
    // Avviatimer's values: 0 hours, 7 minutes, 0 seconds, 420 in all.
    void start();
    Tick tick(const QString &display);
    // ore:minuti:secondi, each at least two digits: "00:06:59".
    QString display() const;

    qint16 ore() const { return m_ore; }
    qint16 minuti() const { return m_minuti; }
    float secondi() const { return m_secondi; }
    qint16 totsecondi() const { return m_totsecondi; }
    // For tests and for clocks set to other lengths (hours included).
    void set(qint16 ore, qint16 minuti, float secondi, qint16 totsecondi);

private:
    qint16 m_ore = 0;
    qint16 m_minuti = 0;
    float m_secondi = 0;
    qint16 m_totsecondi = 0;
};
