#pragma once

#include "quaderno/notebookdata.h"

#include <QWidget>

class ClassGridModel;
class QLabel;
class QPushButton;
class QTableView;

// The class page: the facts most of the class has to practise, the legend, "Assegna
// tabellina...", and the grid of children by facts and the table each starts on. The child under the grid's cursor stays under it, whatever new grid
// comes; Enter (or a double click) on a row says which child was activated.
class ClassPage final : public QWidget
{
    Q_OBJECT

public:
    explicit ClassPage(QWidget *parent = nullptr);

    void setGrid(const ClassGrid &grid);
    const ClassGrid &grid() const;
    // The page's stops of the Tab key, in order.
    QList<QWidget *> tabStops() const;

signals:
    void childActivated(const QString &key);
    // "Assegna tabellina...": for the children chosen in the grid (their keys; none: the class).
    void assignAsked(const QStringList &keys);

private:
    QStringList chosenKeys() const;

    ClassGridModel *m_model;
    QLabel *m_weak;
    QTableView *m_grid;
    QPushButton *m_assign;
};
