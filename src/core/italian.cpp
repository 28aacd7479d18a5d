#include "core/italian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace {

// The print dialog's words that Qt 6.4's own Italian translation leaves in English. Asked
// first, it answers only these and leaves everything else to Qt's translation.
class PrintDialogItalian final : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (!context || !sourceText || std::strcmp(context, "QPrintSettingsOutput") != 0)
            return {};
        static const struct
        {
            const char *english;
            const char *italian;
        } words[] = {
            {"Double Sided Printing", "Stampa fronte e retro"},
            {"Off", "Solo fronte"},
            {"Long side binding", "Rilegatura sul lato lungo"},
            {"Short side binding", "Rilegatura sul lato corto"},
            {"Pages", "Pagine"},
            {"Specify pages or ranges separated by commas. Ranges are specified by two numbers separated by a hyphen. "
             "E.g: 3,5-7,9 prints pages 3, 5, 6, 7 and 9.",
             "Indica pagine o intervalli separati da virgole; un intervallo è dato da due numeri separati da un "
             "trattino. Per esempio 3,5-7,9 stampa le pagine 3, 5, 6, 7 e 9."},
        };
        for (const auto &word : words)
            if (std::strcmp(sourceText, word.english) == 0)
                return QString::fromUtf8(word.italian);
        return {};
    }
};

} // namespace

void installQtItalian(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
    else
        delete translator;
    // Installed last, so asked first.
    app.installTranslator(new PrintDialogItalian(&app));
}
