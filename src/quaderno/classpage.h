#pragma once

#include "quaderno/notebookdata.h"

#include <QWidget>

class ClassGridModel;
class QLabel;
class QTableView;

// The class page: the facts most of the class has to practise, the legend, and the grid of
// children by facts. The child under the grid's cursor stays under it, whatever new grid
// comes; Enter (or a double click) on a row says which child was activated.
class ClassPage final : public QWidget
{
    Q_OBJECT

public:
    explicit ClassPage(QWidget *parent = nullptr);

    void setGrid(const ClassGrid &grid);
    const ClassGrid &grid() const;
    QWidget *tabStop() const;

signals:
    void childActivated(const QString &key);

private:
    ClassGridModel *m_model;
    QLabel *m_weak;
    QTableView *m_grid;
};
