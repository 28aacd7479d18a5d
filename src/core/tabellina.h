#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Which table a game drills: one table from 2 to 10, or every one of them mixed.
inline constexpr int tutteLeTabelline = 0;

inline bool isTabellina(int tabellina)
{
    return tabellina == tutteLeTabelline || (tabellina >= 2 && tabellina <= 10);
}

// How a table is written in settings, file names and on the command line: "7", "tutte".
inline QString tabellinaCode(int tabellina)
{
    return tabellina == tutteLeTabelline ? QStringLiteral("tutte") : QString::number(tabellina);
}

// The other way round; nullopt for anything but "2" to "10" and "tutte".
inline std::optional<int> parseTabellina(QStringView code)
{
    if (code == u"tutte")
        return tutteLeTabelline;
    // Plain ASCII digits only, no sign, spaces or leading zero.
    if (code.isEmpty() || code.size() > 2 || code.front() == u'0')
        return std::nullopt;
    int n = 0;
    for (QChar c : code) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = 10 * n + (c.unicode() - u'0');
    }
    if (n < 2 || n > 10)
        return std::nullopt;
    return n;
}

// The table as the texts name it: "la tabellina del 7", "tutte le tabelline".
inline QString tabellinaName(int tabellina)
{
    return tabellina == tutteLeTabelline ? QStringLiteral("tutte le tabelline")
                                         : QStringLiteral("la tabellina del %1").arg(tabellina);
}
