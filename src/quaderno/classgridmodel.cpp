#include "quaderno/classgridmodel.h"

#include <QFont>

namespace {

// A long name is cut in its cell, so that the facts stay in sight; whole in its tooltip.
constexpr int shownName = 30;

} // namespace

void ClassGridModel::setGrid(const ClassGrid &grid)
{
    if (grid.keys != m_grid.keys) {
        beginResetModel();
        m_grid = grid;
        endResetModel();
        return;
    }
    const bool otherTable = grid.tabellina != m_grid.tabellina;
    m_grid = grid;
    if (!m_grid.keys.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    if (otherTable)
        emit headerDataChanged(Qt::Horizontal, 1, columnCount() - 1);
}

int ClassGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_grid.keys.size());
}

int ClassGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : tableColumn + 1;
}

QVariant ClassGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int r = index.row();
    const QString &name = m_grid.names[r];
    if (role == KeyRole)
        return m_grid.keys[r];
    if (index.column() == 0) {
        switch (role) {
        case Qt::DisplayRole:
            return shortened(name, shownName);
        case Qt::ToolTipRole:
        case Qt::AccessibleTextRole:
            return name;
        default:
            return {};
        }
    }
    if (index.column() == tableColumn) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return m_grid.tables.value(r);
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole:
            return m_grid.tablesWhy.value(r);
        default:
            return {};
        }
    }
    const int f = index.column();
    const FactState state = m_grid.states[r][size_t(f - 1)];
    switch (role) {
    case Qt::DisplayRole:
        return stateSymbol(state);
    case Qt::BackgroundRole:
        return stateColour(state);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::FontRole: {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    // A screen reader says the word, not the symbol; the figures it is judged on follow.
    case Qt::AccessibleTextRole:
        return factStateName(state);
    case Qt::AccessibleDescriptionRole:
        return m_grid.figures[r][size_t(f - 1)];
    case Qt::ToolTipRole:
        return QStringLiteral("%1, %2: %3 (%4)")
            .arg(shortened(name), factText(m_grid.tabellina, f), factStateName(state), m_grid.figures[r][size_t(f - 1)]);
    default:
        return {};
    }
}

QVariant ClassGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == tableColumn)
        return QStringLiteral("Gioca la tabellina");
    return section == 0 ? QStringLiteral("Bambino") : factText(m_grid.tabellina, section);
}
