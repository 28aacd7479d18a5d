#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, the print dialog) in Italian, from Debian's
// qt6-translations-l10n; left in English when the translations are not installed.
void installQtItalian(QCoreApplication &app);
