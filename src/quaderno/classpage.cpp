#include "quaderno/classpage.h"

#include "quaderno/classgridmodel.h"
#include "quaderno/controls.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

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

    auto *column = new QVBoxLayout(this);
    column->addWidget(m_weak);
    column->addWidget(legend);
    column->addWidget(titleFor(QStringLiteral("&Griglia della classe"), m_grid));
    column->addWidget(m_grid, 1);

    connect(m_grid, &QTableView::activated, this,
            [this](const QModelIndex &index) { emit childActivated(index.data(ClassGridModel::KeyRole).toString()); });
}

const ClassGrid &ClassPage::grid() const
{
    return m_model->grid();
}

QWidget *ClassPage::tabStop() const
{
    return m_grid;
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
