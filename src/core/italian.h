#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, the print dialog) in Italian, from Debian's
// qt6-translations-l10n; left in English when the translations are not installed. The few
// words of the print dialog that those translations lack are given here.
void installQtItalian(QCoreApplication &app);
