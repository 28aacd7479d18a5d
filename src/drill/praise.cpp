#include "drill/praise.h"

#include <array>

using namespace Qt::StringLiterals;

namespace {

struct PraiseRow
{
    double s;
    const char16_t *animation;
    const char16_t *sentence;
};

// Tested in this order; each S has at most one row.
constexpr std::array<PraiseRow, 8> praiseTable = {{
    {2, u"congratulate", u"Sei grande"},
    {5, u"domagic1", u"Sei forte"},
    {14, u"congratulate", u"Sei eccezionale"},
    {13, u"domagic2", u"Sei in gamba"},
    {10, u"congratulate", u"Sei sulla buona strada per diventare cavaliere"},
    {18, u"congratulate", u"Sei insuperabile"},
    {23, u"congratulate", u"Ti nomino cavaliere della tabellina, il massimo ordine per un eroe"},
    {27, u"congratulate", u"Hai lavorato bene mio leale campione: sei invincibile"},
}};

AgentLine speak(const QString &text)
{
    return {AgentLine::Kind::Speak, text};
}

} // namespace

QList<AgentLine> rightAnswerLines(double s, const QString &nome, const QString &risultato)
{
    QList<AgentLine> lines;
    // At exactly 10 neither word is said: the praise row speaks for itself.
    if (s < 10)
        lines << speak(u"Esatto"_s);
    if (s > 10)
        lines << speak(u"Giusto"_s);
    if (s == 3 || s == 7 || s == 12 || s == 21 || s == 26)
        lines << speak(nome);
    lines << speak(risultato);
    for (const PraiseRow &row : praiseTable) {
        if (s == row.s) {
            lines << AgentLine{AgentLine::Kind::Play, QString::fromUtf16(row.animation)};
            lines << speak(QString::fromUtf16(row.sentence));
            break;
        }
    }
    return lines;
}
