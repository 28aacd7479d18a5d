#pragma once

#include "quaderno/notebookdata.h"

#include <QAbstractTableModel>

// The class grid as a read-only table: a row per child (the name, then each fact's state
// as a symbol on its colour, then the table the child starts on), over the ClassGrid value that the printed page paints too. A
// new grid with the same children changes the cells in place, so a view keeps its cursor,
// selection and scrolling; other children reset the model.
class ClassGridModel final : public QAbstractTableModel
{
public:
    // The child's key (childKey), on every cell of its row.
    static constexpr int KeyRole = Qt::UserRole;
    // After the name and the ten facts: the table the child starts on.
    static constexpr int tableColumn = 11;

    using QAbstractTableModel::QAbstractTableModel;

    void setGrid(const ClassGrid &grid);
    const ClassGrid &grid() const { return m_grid; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    ClassGrid m_grid;
};
