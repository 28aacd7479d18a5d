#include "quaderno/controls.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QPushButton>

QLabel *valueLabel(const char *objectName, const QString &description)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(objectName));
    label->setAccessibleDescription(description);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QPushButton *button(const char *objectName, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(QLatin1String(objectName));
    b->setAccessibleName(QString(text).remove(u'&'));
    return b;
}

QLabel *titleFor(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

void setUpTable(QAbstractItemView *table, const char *objectName, const QString &accessibleName)
{
    table->setObjectName(QLatin1String(objectName));
    table->setAccessibleName(accessibleName);
    table->setTabKeyNavigation(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
}
