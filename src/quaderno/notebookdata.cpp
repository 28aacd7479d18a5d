#include "quaderno/notebookdata.h"

#include "core/runtimeerror.h"
#include "records/records.h"

#include <QLocale>
#include <QSet>
#include <QStringList>

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

} // namespace

QString shortened(const QString &text, int max)
{
    const QString line = text.section(u'\n', 0, 0).trimmed();
    return line.size() <= max ? line : line.left(max - 1) + QChar(0x2026);
}

StoredRecord readStoredRecord(const QString &folder)
{
    return {readRecordFile(folder + fileRecordPunti), readRecordFile(folder + fileRecordNome)};
}

QString recordText(const StoredRecord &record)
{
    if (record.punti.isEmpty())
        return QStringLiteral("Record: nessuno ancora.");
    const QString punti = record.punti == u"1" ? QStringLiteral("1 punto") : record.punti + QStringLiteral(" punti");
    if (record.nome.isEmpty())
        return QStringLiteral("Record: %1.").arg(punti);
    return QStringLiteral("Record: %1, di %2.").arg(punti, record.nome);
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

QString weakFactsText(const ChildReport &child)
{
    QStringList weak;
    for (int f = 1; f <= 10; ++f)
        if (child.facts[size_t(f - 1)].weak)
            weak.append(factText(f));
    if (weak.isEmpty())
        return QStringLiteral("Nessun fatto da ripassare per ora.");
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

QString factText(int fact)
{
    return QStringLiteral("2 x %1").arg(fact);
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

QString weakMark(const FactStats &stats)
{
    return stats.weak ? QStringLiteral("da ripassare") : QString();
}

QStringList factCells(int fact, const FactStats &stats)
{
    return {factText(fact), QString::number(stats.answers), percentText(stats), medianText(stats), weakMark(stats)};
}

QStringList gameLabels(const QList<GameSummary> &games)
{
    QStringList labels;
    QSet<QString> seen;
    for (const GameSummary &game : games) {
        const QString label = game.started.toString(QStringLiteral("dd/MM<br>HH:mm"));
        QString unique = label;
        for (int n = 2; seen.contains(unique); ++n)
            unique = label + QStringLiteral(" (%1)").arg(n);
        seen.insert(unique);
        labels.append(unique);
    }
    return labels;
}
