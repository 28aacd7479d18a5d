#include "quaderno/notebookdata.h"

#include "core/tabellina.h"

#include "core/runtimeerror.h"
#include "records/records.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cmath>

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

QString bestGameText(const ChildReport &child, int tabellina)
{
    const GameSummary *best = nullptr;
    for (const GameSummary &game : child.games)
        if (game.tabellina == tabellina && (!best || game.right > best->right))
            best = &game;
    const QString head = QStringLiteral("Miglior partita nella tabellina del %1: ").arg(tabellina);
    if (!best)
        return head + QStringLiteral("nessuna ancora.");
    return head + QStringLiteral("%1, %2.").arg(counted(best->right, "esatta", "esatte"), day(best->started));
}

QString recordLine(const ChildReport &child, int tabellina, const std::optional<StoredRecord> &record)
{
    return record ? recordText(*record, tabellina) : bestGameText(child, tabellina);
}

QString childNameText(const ChildReport &child, int max)
{
    QString text = child.name;
    if (!child.joined.isEmpty())
        text += QStringLiteral(" (con %1)").arg(child.joined.join(QStringLiteral(", ")));
    return max > 0 ? shortened(text, max) : text;
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
                       .arg(childNameText(child, 40), counted(child.games.size(), "partita", "partite"),
                            counted(answers, "risposta", "risposte"), counted(right, "esatta", "esatte"));
    if (answers > 0)
        text += QStringLiteral(" (%1%)").arg(qRound64(100.0 * double(right) / double(answers)));
    return text;
}

QString childListText(const ChildReport &child, int max)
{
    const QString name = childNameText(child, max);
    if (!child.lastGame.isValid())
        return name;
    return QStringLiteral("%1 - ultima partita %2").arg(name, day(child.lastGame));
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

QString skippedText(const HistorySummary &summary)
{
    const auto sentence = [](qint64 skipped, const QString &file) {
        if (skipped == 1)
            return QStringLiteral("1 riga di %1 non è stata letta perché illeggibile.").arg(file);
        return QStringLiteral("%1 righe di %2 non sono state lette perché illeggibili.").arg(italian.toString(skipped), file);
    };
    QStringList lines;
    for (auto it = summary.skippedIn.cbegin(); it != summary.skippedIn.cend(); ++it)
        lines.append(sentence(it.value(), QFileInfo(it.key()).fileName()));
    // Read from memory rather than from files: no file to name.
    if (lines.isEmpty() && summary.skipped > 0)
        lines.append(sentence(summary.skipped, QStringLiteral("questo storico")));
    return lines.join(u'\n');
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

QString evidenceText(const FactStats &stats)
{
    if (stats.evidence.answers <= 0)
        return QStringLiteral("-");
    return QStringLiteral("%1 su %2").arg(stats.evidence.right).arg(stats.evidence.answers);
}

QString medianText(const FactStats &stats)
{
    if (stats.evidence.medianMs < 0)
        return QStringLiteral("-");
    const qint64 tenths = qint64(std::ceil(stats.evidence.medianMs / 100.0));
    return italian.toString(double(tenths) / 10.0, 'f', 1) + QStringLiteral(" s");
}

QStringList factHeads()
{
    return {QStringLiteral("Fatto"), QStringLiteral("Esatte (ultime %1)").arg(factWindow), QStringLiteral("Tempo mediano"),
            QStringLiteral("Stato"), QStringLiteral("Risposte in tutto")};
}

QStringList factCells(int tabellina, int fact, const FactStats &stats)
{
    return {factText(tabellina, fact), evidenceText(stats), medianText(stats), factStateName(stats.state),
            italian.toString(stats.answers)};
}

QString factDescription(int tabellina, int fact, const FactStats &stats)
{
    const QString name = factText(tabellina, fact);
    if (stats.answers <= 0)
        return QStringLiteral("%1: nessuna risposta ancora, %2").arg(name, factStateName(stats.state));
    QString text = QStringLiteral("%1: %2 esatte delle ultime %3 risposte")
                       .arg(name)
                       .arg(stats.evidence.right)
                       .arg(stats.evidence.answers);
    if (stats.evidence.medianMs >= 0)
        text += QStringLiteral(", tempo mediano %1").arg(medianText(stats));
    return text + QStringLiteral(", %1; %2 in tutto")
                      .arg(factStateName(stats.state), counted(stats.answers, "risposta", "risposte"));
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
    grid.tabellina = tabellina;
    std::array<int, 10> weak{};
    for (const QString &key : summary.names) {
        const ChildReport &child = summary.children[key];
        std::array<FactState, 10> row{};
        std::array<QString, 10> figures;
        bool played = false;
        for (int f = 1; f <= 10; ++f) {
            const FactStats &stats = child.fact(tabellina, f);
            row[size_t(f - 1)] = stats.state;
            weak[size_t(f - 1)] += stats.state == FactState::DaRipassare;
            played = played || stats.answers > 0;
            figures[size_t(f - 1)] = stats.answers <= 0 ? QStringLiteral("nessuna risposta")
                                     : stats.evidence.medianMs < 0
                                         ? evidenceText(stats)
                                         : QStringLiteral("%1, %2").arg(evidenceText(stats), medianText(stats));
        }
        grid.keys.append(key);
        grid.names.append(childNameText(child));
        grid.states.append(row);
        grid.figures.append(figures);
        grid.players += played;
    }
    // The facts to practise for most of the class, the most common first.
    std::vector<int> order;
    for (int f = 0; f < 10; ++f)
        if (weak[size_t(f)] > 0)
            order.push_back(f);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weak[size_t(a)] > weak[size_t(b)]; });
    // Shares of the children who played the table: one who never did has nothing to practise yet.
    const int children = grid.players;
    QStringList most;
    QStringList some;
    for (int f : order) {
        const QString text = QStringLiteral("%1 (%2 su %3)").arg(factText(tabellina, f + 1)).arg(weak[size_t(f)]).arg(children);
        (2 * weak[size_t(f)] > children ? most : some).append(text);
    }
    if (children == 0)
        grid.weakText = QStringLiteral("Nessun bambino ha ancora giocato la tabellina del %1.").arg(tabellina);
    else if (!most.isEmpty())
        grid.weakText = QStringLiteral("Da ripassare per la maggior parte della classe: %1.").arg(most.join(QStringLiteral(", ")));
    else if (!some.isEmpty())
        grid.weakText = QStringLiteral("Nessun fatto è da ripassare per la maggior parte della classe; i più da ripassare: %1.")
                            .arg(some.mid(0, 3).join(QStringLiteral(", ")));
    else
        grid.weakText = QStringLiteral("Nessun fatto da ripassare");
    return grid;
}

void setTables(ClassGrid &grid, const Scelte::Tutte &choices)
{
    grid.tables.clear();
    grid.tablesWhy.clear();
    for (const QString &key : std::as_const(grid.keys)) {
        const Scelta own = choices.bambini.value(key);
        const int tabellina = own.tabellina.value_or(choices.classe.tabellina.value_or(2));
        const bool ripasso = own.ripasso.value_or(choices.classe.ripasso.value_or(false));
        QString text = tabellina == tutteLeTabelline ? QStringLiteral("tutte") : QStringLiteral("del %1").arg(tabellina);
        if (ripasso)
            text += QStringLiteral(", ripasso mirato");
        QString why = own.tabellina ? QStringLiteral("scelta per il bambino")
                      : choices.classe.tabellina ? QStringLiteral("la tabellina della classe")
                                                 : QStringLiteral("nessuna scelta: la tabellina del 2");
        if (!choices.reached) {
            text += QStringLiteral(" (?)");
            why = QStringLiteral("la cartella della classe non si raggiunge: è l'ultima scelta letta qui");
        }
        grid.tables.append(text);
        grid.tablesWhy.append(why);
    }
}

QString outOfReachText(const QDateTime &since, bool read, const QDateTime &now)
{
    const QString when = since.date() == now.date()
                             ? QStringLiteral("dalle %1").arg(since.toString(QStringLiteral("HH:mm")))
                             : QStringLiteral("dal %1 alle %2")
                                   .arg(since.toString(QStringLiteral("dd/MM/yyyy")), since.toString(QStringLiteral("HH:mm")));
    return QStringLiteral("La cartella della classe non si raggiunge (%1): %2")
        .arg(when, read ? QStringLiteral("i dati sono quelli letti allora.")
                        : QStringLiteral("non ne è stato letto ancora nulla."));
}
