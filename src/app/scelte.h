#pragma once

#include <QString>

// What each child chose last, kept in the user's settings (QSettings "quizzolo"), group
// "bambini", under a key made from the child's name as the game uses it ("Amico"
// included): the table and the targeted practice. A child never seen before plays the
// table of 2, without the targeted practice.
int sceltaTabellina(const QString &nome);
void ricordaTabellina(const QString &nome, int tabellina);
bool sceltaRipasso(const QString &nome);
void ricordaRipasso(const QString &nome, bool ripasso);
