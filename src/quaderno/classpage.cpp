#include "quaderno/classpage.h"

#include "quaderno/classgridmodel.h"
#include "quaderno/controls.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

ClassPage::ClassPage(QWidget *parent)
    : QWidget(parent)
    , m_model(new ClassGridModel(this))
    , m_weak(valueLabel("lblClasseDaRipassare", QStringLiteral("Fatti da ripassare per la classe")))
    , m_grid(new QTableView)
{
    QFont bold = m_weak->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_weak->setFont(bold);
    auto *legend = valueLabel("lblLegenda", QStringLiteral("Legenda dei simboli"));
    legend->setText(classLegendText());

    setUpTable(m_grid, "grigliaClasse", QStringLiteral("Classe"));
    m_grid->setAccessibleDescription(QStringLiteral("Un bambino per riga, un fatto per colonna; Invio apre la pagina del bambino"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->verticalHeader()->hide();
    m_grid->setTextElideMode(Qt::ElideRight);
    QHeaderView *heads = m_grid->horizontalHeader();
    heads->setSectionResizeMode(QHeaderView::Stretch);
    heads->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);

    heads->setSectionResizeMode(ClassGridModel::tableColumn, QHeaderView::ResizeToContents);
    m_assign = button("cmdAssegna", QStringLiteral("&Assegna tabellina..."));
    m_assign->setToolTip(QStringLiteral("La tabellina con cui iniziano la classe o i bambini scelti nella griglia"));

    auto *top = new QHBoxLayout;
    top->addWidget(legend, 1);
    top->addWidget(m_assign);
    auto *column = new QVBoxLayout(this);
    column->addWidget(m_weak);
    column->addLayout(top);
    column->addWidget(titleFor(QStringLiteral("&Griglia della classe"), m_grid));
    column->addWidget(m_grid, 1);

    connect(m_assign, &QPushButton::clicked, this, [this] { emit assignAsked(chosenKeys()); });

    connect(m_grid, &QTableView::activated, this,
            [this](const QModelIndex &index) { emit childActivated(index.data(ClassGridModel::KeyRole).toString()); });
}

const ClassGrid &ClassPage::grid() const
{
    return m_model->grid();
}

QList<QWidget *> ClassPage::tabStops() const
{
    return {m_assign, m_grid};
}

// The children of the rows chosen in the grid, in the grid's order.
QStringList ClassPage::chosenKeys() const
{
    QStringList keys;
    const QModelIndexList chosen = m_grid->selectionModel()->selectedIndexes();
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (std::any_of(chosen.cbegin(), chosen.cend(), [row](const QModelIndex &i) { return i.row() == row; }))
            keys.append(m_model->grid().keys[row]);
    return keys;
}

void ClassPage::setGrid(const ClassGrid &grid)
{
    m_weak->setText(grid.weakText);
    const QModelIndex current = m_grid->currentIndex();
    const QString key = current.data(ClassGridModel::KeyRole).toString();
    m_model->setGrid(grid);
    // Other children: the cursor goes back to its child, wherever the child's row is now.
    if (!current.isValid() || m_grid->currentIndex().isValid())
        return;
    const qsizetype row = grid.keys.indexOf(key);
    if (row < 0)
        return;
    const QModelIndex again = m_model->index(int(row), current.column());
    m_grid->setCurrentIndex(again);
    m_grid->scrollTo(again);
}
