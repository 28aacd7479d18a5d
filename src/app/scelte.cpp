#include "app/scelte.h"

#include "core/tabellina.h"
#include "storico/storico.h"

#include <QSettings>
#include <QUrl>

#include <cstdio>

namespace {

// One child is one name key, as in the history. The key is percent-encoded: a name may
// hold '/', '\' or spaces, which QSettings keys cannot.
QString settingKey(const QString &nome, const char *what)
{
    return QStringLiteral("bambini/%1/%2")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(childKey(nome))), QLatin1String(what));
}

// A choice that cannot be kept is said once on stderr; the game goes on with it.
void remember(const QString &key, const QVariant &value)
{
    QSettings store(QStringLiteral("quizzolo"), QStringLiteral("quizzolo"));
    store.setValue(key, value);
    store.sync();
    static bool said = false;
    if (store.status() != QSettings::NoError && !said) {
        said = true;
        std::fprintf(stderr, "quizzolo: impossibile ricordare la scelta in %s: vale solo per questa partita\n",
                     qPrintable(store.fileName()));
    }
}

} // namespace

int sceltaTabellina(const QString &nome)
{
    const QString key = settingKey(nome, "tabellina");
    const QString stored = QSettings(QStringLiteral("quizzolo"), QStringLiteral("quizzolo")).value(key).toString();
    if (stored.isEmpty())
        return 2;
    if (const std::optional<int> tabellina = parseTabellina(stored))
        return *tabellina;
    std::fprintf(stderr, "quizzolo: la tabellina ricordata per %s non è valida (\"%s\"): si gioca la tabellina del 2\n",
                 qPrintable(nome), qPrintable(stored));
    return 2;
}

void ricordaTabellina(const QString &nome, int tabellina)
{
    remember(settingKey(nome, "tabellina"), tabellinaCode(tabellina));
}

bool sceltaRipasso(const QString &nome)
{
    return QSettings(QStringLiteral("quizzolo"), QStringLiteral("quizzolo")).value(settingKey(nome, "ripasso"), false).toBool();
}

void ricordaRipasso(const QString &nome, bool ripasso)
{
    remember(settingKey(nome, "ripasso"), ripasso);
}
