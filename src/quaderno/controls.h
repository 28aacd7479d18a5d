#pragma once

#include <QString>

class QAbstractItemView;
class QLabel;
class QPushButton;
class QWidget;

// The notebook's controls made alike, as every page wants them: named for tests and
// accessibility tools, and never wider than the text they are given room for.

// A label that shows a value: its text is what a screen reader reads, its description says
// what it is. It wraps, and takes the width the layout gives it: no text it shows can make
// the window wider.
QLabel *valueLabel(const char *objectName, const QString &description);
QPushButton *button(const char *objectName, const QString &text);
// A title with its mnemonic, that puts the keyboard on buddy.
QLabel *titleFor(const QString &text, QWidget *buddy);
// A table that is one stop of the Tab key (the arrows move inside it), read only, a row at a time.
void setUpTable(QAbstractItemView *table, const char *objectName, const QString &accessibleName);
