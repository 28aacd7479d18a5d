#include "quaderno/notebookdata.h"

#include "core/runtimeerror.h"
#include "records/records.h"

#include <QLocale>
#include <QSet>

#include <algorithm>

namespace {

const QLocale italian(QLocale::Italian, QLocale::Italy);

// "1 partita" / "3 partite": the number in Italian digits with its noun.
QString counted(qint64 n, const char *one, const char *many)
{
    return italian.toString(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}

QString readRecordFile(const QString &path)
{
    try {
        return shortened(Leggifiletxt(path).trimmed());
    } catch (const RuntimeError &) {
        // No record yet, or a file the notebook cannot read: it shows none either way.
        return {};
    }
}

QString day(const QDateTime &when)
{
    return when.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

QString shortened(const QString &text, int max)
{
    const QString line = text.section(u'\n', 0, 0).trimmed();
    return line.size() <= max ? line : line.left(max - 1) + QChar(0x2026);
}

StoredRecord readStoredRecord(const QString &folder, int tabellina)
{
    const RecordFiles files = recordFilesFor(tabellina);
    return {readRecordFile(folder + files.punti), readRecordFile(folder + files.nome)};
}

QString recordText(const StoredRecord &record, int tabellina)
{
    const QString head = QStringLiteral("Record di questo computer nella tabellina del %1: ").arg(tabellina);
    if (record.punti.isEmpty())
        return head + QStringLiteral("nessuno ancora.");
    const QString punti = record.punti == u"1" ? QStringLiteral("1 punto") : record.punti + QStringLiteral(" punti");
    if (record.nome.isEmpty())
        return head + punti + u'.';
    return head + QStringLiteral("%1, di %2.").arg(punti, record.nome);
}

QString childSummaryText(const ChildReport &child)
{
    qint64 right = 0;
    qint64 answers = 0;
    for (const GameSummary &game : child.games) {
        right += game.right;
        answers += game.right + game.wrong;
    }
    QString text = QStringLiteral("%1: %2, %3, %4")
                       .arg(child.name, counted(child.games.size(), "partita", "partite"),
                            counted(answers, "risposta", "risposte"), counted(right, "esatta", "esatte"));
    if (answers > 0)
        text += QStringLiteral(" (%1%)").arg(qRound64(100.0 * double(right) / double(answers)));
    return text;
}

QString childListText(const ChildReport &child)
{
    if (!child.lastGame.isValid())
        return child.name;
    return QStringLiteral("%1 - ultima partita %2").arg(child.name, day(child.lastGame));
}

QString weakFactsText(const ChildReport &child, int tabellina)
{
    QStringList weak;
    for (int f = 1; f <= 10; ++f)
        if (child.fact(tabellina, f).state == FactState::DaRipassare)
            weak.append(factText(tabellina, f));
    if (weak.isEmpty())
        return QStringLiteral("Nessun fatto da ripassare");
    return QStringLiteral("Da ripassare: %1.").arg(weak.join(QStringLiteral(", ")));
}

QString skippedText(qint64 skipped)
{
    if (skipped <= 0)
        return {};
    if (skipped == 1)
        return QStringLiteral("1 riga del file non è stata letta perché illeggibile.");
    return QStringLiteral("%1 righe del file non sono state lette perché illeggibili.").arg(italian.toString(skipped));
}

QString periodText(const QList<GameSummary> &games)
{
    if (games.isEmpty())
        return {};
    const QString first = day(games.first().started);
    const QString last = day(games.last().started);
    return first == last ? QStringLiteral("il %1").arg(first) : QStringLiteral("dal %1 al %2").arg(first, last);
}

QString factText(int tabellina, int fact)
{
    return QStringLiteral("%1 x %2").arg(tabellina).arg(fact);
}

QString percentText(const FactStats &stats)
{
    if (stats.answers <= 0)
        return QStringLiteral("-");
    return QStringLiteral("%1%").arg(qRound64(100.0 * stats.right / stats.answers));
}

QString medianText(const FactStats &stats)
{
    if (stats.medianMs < 0)
        return QStringLiteral("-");
    return italian.toString(double(stats.medianMs) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

QStringList factCells(int tabellina, int fact, const FactStats &stats)
{
    return {factText(tabellina, fact), QString::number(stats.answers), percentText(stats), medianText(stats),
            factStateName(stats.state)};
}

QColor stateColour(FactState state)
{
    switch (state) {
    case FactState::Sicuro:
        return QColor(0xc6, 0xec, 0xc6);
    case FactState::InEsercizio:
        return QColor(0xff, 0xf1, 0xb3);
    case FactState::DaRipassare:
        return QColor(0xff, 0xc4, 0xb0);
    case FactState::Nuovo:
        break;
    }
    return QColor(0xe6, 0xe6, 0xe6);
}

QString stateSymbol(FactState state)
{
    switch (state) {
    case FactState::Sicuro:
        return QStringLiteral("\u2713");
    case FactState::InEsercizio:
        return QStringLiteral("\u25cb");
    case FactState::DaRipassare:
        return QStringLiteral("!");
    case FactState::Nuovo:
        break;
    }
    return QStringLiteral("\u2013");
}

QString classLegendText()
{
    QStringList parts;
    for (FactState s : {FactState::Sicuro, FactState::InEsercizio, FactState::DaRipassare, FactState::Nuovo})
        parts.append(stateSymbol(s) + u' ' + factStateName(s));
    return QStringLiteral("Legenda: %1").arg(parts.join(QStringLiteral(",  ")));
}

ChartBars chartBars(const QList<GameSummary> &games, int maxBars)
{
    ChartBars bars;
    maxBars = std::max(1, maxBars);
    if (games.isEmpty())
        return bars;
    // Months are counted from the first game's; many months make groups of a few each.
    const QDate first = games.first().started.date();
    const auto monthOf = [&](const QDate &d) { return (d.year() - first.year()) * 12 + d.month() - first.month(); };
    int months = 1;
    // The start of the group a game falls in, for each way of grouping.
    const auto groupOf = [&](ChartBars::By by, const QDate &d) -> QDate {
        switch (by) {
        case ChartBars::By::Week:
            return d.addDays(1 - d.dayOfWeek());
        case ChartBars::By::Month: {
            const int m = monthOf(d) / months * months;
            return QDate(first.year(), first.month(), 1).addMonths(m);
        }
        default:
            return d;
        }
    };
    const auto count = [&](ChartBars::By by) {
        QSet<QDate> seen;
        for (const GameSummary &g : games)
            seen.insert(groupOf(by, g.started.date()));
        return seen.size();
    };
    if (games.size() <= maxBars) {
        bars.by = ChartBars::By::Game;
    } else if (count(ChartBars::By::Day) <= maxBars) {
        bars.by = ChartBars::By::Day;
    } else if (count(ChartBars::By::Week) <= maxBars) {
        bars.by = ChartBars::By::Week;
    } else {
        bars.by = ChartBars::By::Month;
        const int span = monthOf(games.last().started.date()) + 1;
        months = (span + maxBars - 1) / maxBars;
    }

    QDate current;
    QSet<QString> seen;
    for (const GameSummary &game : games) {
        const QDate group = groupOf(bars.by, game.started.date());
        if (bars.by == ChartBars::By::Game || group != current || bars.labels.isEmpty()) {
            current = group;
            QString label;
            switch (bars.by) {
            case ChartBars::By::Game:
                label = game.started.toString(QStringLiteral("dd/MM HH:mm"));
                break;
            case ChartBars::By::Day:
                label = current.toString(QStringLiteral("dd/MM"));
                break;
            case ChartBars::By::Week:
                label = QStringLiteral("sett. ") + current.toString(QStringLiteral("dd/MM"));
                break;
            case ChartBars::By::Month:
                label = italian.toString(current, QStringLiteral("MMM yyyy"));
                break;
            }
            // A chart needs its labels distinct: two games begun in the same minute.
            QString unique = label;
            for (int n = 2; seen.contains(unique); ++n)
                unique = label + QStringLiteral(" (%1)").arg(n);
            seen.insert(unique);
            bars.labels.append(unique);
            bars.right.append(0);
            bars.wrong.append(0);
        }
        bars.right.last() += game.right;
        bars.wrong.last() += game.wrong;
    }
    switch (bars.by) {
    case ChartBars::By::Game:
        bars.axisTitle = QStringLiteral("Partite (giorno e ora di inizio)");
        break;
    case ChartBars::By::Day:
        bars.axisTitle = QStringLiteral("Giorni (tutte le partite del giorno)");
        break;
    case ChartBars::By::Week:
        bars.axisTitle = QStringLiteral("Settimane (dal lunedì)");
        break;
    case ChartBars::By::Month:
        bars.axisTitle = months == 1 ? QStringLiteral("Mesi") : QStringLiteral("Mesi (a gruppi di %1)").arg(months);
        break;
    }
    return bars;
}

QList<FactPoint> factPoints(const QList<FactPoint> &timeline, int maxPoints, QString *per)
{
    const auto grouped = [&](auto startOf) {
        QList<FactPoint> points;
        for (const FactPoint &p : timeline) {
            const QDate day = startOf(p.day);
            if (points.isEmpty() || points.last().day != day)
                points.append({day, 0, 0});
            points.last().answers += p.answers;
            points.last().right += p.right;
        }
        return points;
    };
    if (timeline.size() <= maxPoints) {
        if (per)
            *per = QStringLiteral("giorno");
        return timeline;
    }
    QList<FactPoint> weeks = grouped([](const QDate &d) { return d.addDays(1 - d.dayOfWeek()); });
    if (weeks.size() <= maxPoints) {
        if (per)
            *per = QStringLiteral("settimana");
        return weeks;
    }
    if (per)
        *per = QStringLiteral("mese");
    return grouped([](const QDate &d) { return QDate(d.year(), d.month(), 1); });
}

ClassGrid classGrid(const HistorySummary &summary, int tabellina)
{
    ClassGrid grid;
    std::array<int, 10> weak{};
    for (const QString &key : summary.names) {
        const ChildReport &child = summary.children[key];
        std::array<FactState, 10> row{};
        for (int f = 1; f <= 10; ++f) {
            row[size_t(f - 1)] = child.fact(tabellina, f).state;
            weak[size_t(f - 1)] += row[size_t(f - 1)] == FactState::DaRipassare;
        }
        grid.keys.append(key);
        grid.names.append(child.name);
        grid.states.append(row);
    }
    // The facts to practise for most of the class, the most common first.
    std::vector<int> order;
    for (int f = 0; f < 10; ++f)
        if (weak[size_t(f)] > 0)
            order.push_back(f);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weak[size_t(a)] > weak[size_t(b)]; });
    const int children = int(grid.keys.size());
    QStringList most;
    QStringList some;
    for (int f : order) {
        const QString text = QStringLiteral("%1 (%2 su %3)").arg(factText(tabellina, f + 1)).arg(weak[size_t(f)]).arg(children);
        (2 * weak[size_t(f)] > children ? most : some).append(text);
    }
    if (!most.isEmpty())
        grid.weakText = QStringLiteral("Da ripassare per la maggior parte della classe: %1.").arg(most.join(QStringLiteral(", ")));
    else if (!some.isEmpty())
        grid.weakText = QStringLiteral("Nessun fatto è da ripassare per la maggior parte della classe; i più da ripassare: %1.")
                            .arg(some.mid(0, 3).join(QStringLiteral(", ")));
    else
        grid.weakText = QStringLiteral("Nessun fatto da ripassare");
    return grid;
}
