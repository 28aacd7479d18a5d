#include "quaderno/childpage.h"

#include "quaderno/charts.h"
#include "quaderno/controls.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The narrowest bar slot whose two-line date stays readable, in the chart's pixels.
constexpr int slotPixels = 52;
// The facts table's column of the state, shown in colour too.
constexpr int stateColumn = 3;

} // namespace

ChildPage::ChildPage(QWidget *parent)
    : QWidget(parent)
{
    buildControls();
    buildLayout();
    connect(m_names, &QListWidget::currentRowChanged, this, &ChildPage::showChosen);
    connect(m_facts, &QTableWidget::currentCellChanged, this, &ChildPage::showFact);
    connect(m_join, &QPushButton::clicked, this, [this] { emit joinAsked(currentKey()); });
    connect(m_separate, &QPushButton::clicked, this, [this] { emit separateAsked(currentKey()); });
}

void ChildPage::buildControls()
{
    m_names = new QListWidget;
    m_names->setObjectName(QStringLiteral("listaBambini"));
    m_names->setAccessibleName(QStringLiteral("Bambini"));
    m_names->setAccessibleDescription(QStringLiteral("I bambini in ordine alfabetico, con la data dell'ultima partita"));
    m_names->setMaximumWidth(260);
    m_names->setTextElideMode(Qt::ElideRight);

    m_join = button("cmdUnisci", QStringLiteral("&Unisci a..."));
    m_join->setToolTip(QStringLiteral("Conta le risposte di questo nome come quelle di un altro bambino "
                                      "(un nome scritto in un altro modo)"));
    m_separate = button("cmdSepara", QStringLiteral("S&epara"));
    m_separate->setToolTip(QStringLiteral("Torna a contare a parte i nomi uniti a questo bambino"));

    m_summary = valueLabel("lblRiepilogo", QStringLiteral("Riepilogo del bambino"));
    QFont bold = m_summary->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_summary->setFont(bold);

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chartView = new QChartView(m_chart);
    m_chartView->setObjectName(QStringLiteral("graficoPartite"));
    m_chartView->setAccessibleName(QStringLiteral("Grafico delle partite"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumHeight(220);
    // A chart is read, not used: Tab passes it by, a screen reader reads its description.
    m_chartView->setFocusPolicy(Qt::NoFocus);
    m_chartView->installEventFilter(this);

    // Heads on two lines, so that the columns leave the fact's chart room beside them.
    QStringList heads = factHeads();
    for (QString &head : heads)
        if (const qsizetype space = head.indexOf(u' '); space > 0)
            head[space] = u'\n';
    m_facts = new QTableWidget(10, int(heads.size()));
    setUpTable(m_facts, "tabellaFatti", QStringLiteral("Fatti della tabellina"));
    m_facts->setAccessibleDescription(QStringLiteral("Per ogni fatto: le risposte esatte tra le ultime, su cui si giudica "
                                                     "lo stato, il loro tempo mediano, lo stato e le risposte in tutto"));
    m_facts->verticalHeader()->hide();
    m_facts->setHorizontalHeaderLabels(heads);
    m_facts->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_facts->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // As wide as its columns where there is room; narrower, with a scroll bar, on a small screen.
    m_facts->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);

    m_factChart = new QChart;
    m_factChart->legend()->hide();
    m_factChart->setMargins(QMargins(4, 4, 4, 4));
    m_factChartView = new QChartView(m_factChart);
    m_factChartView->setObjectName(QStringLiteral("graficoFatto"));
    m_factChartView->setAccessibleName(QStringLiteral("Andamento del fatto scelto"));
    m_factChartView->setRenderHint(QPainter::Antialiasing);
    m_factChartView->setFocusPolicy(Qt::NoFocus);

    m_weak = valueLabel("lblDaRipassare", QStringLiteral("Fatti da ripassare"));
    m_weak->setFont(bold);
    m_record = valueLabel("lblRecord", QStringLiteral("Record"));
}

// The names on the left with the buttons that join and separate them; the summary, the
// games, the facts beside the chosen fact's chart, the facts to practise and the record on
// the right.
void ChildPage::buildLayout()
{
    auto *joins = new QHBoxLayout;
    joins->addWidget(m_join);
    joins->addWidget(m_separate);
    auto *left = new QVBoxLayout;
    left->addWidget(titleFor(QStringLiteral("Ba&mbini"), m_names));
    left->addWidget(m_names);
    left->addLayout(joins);
    auto *factsColumn = new QVBoxLayout;
    factsColumn->addWidget(titleFor(QStringLiteral("&Fatti della tabellina"), m_facts));
    factsColumn->addWidget(m_facts);
    auto *factsRow = new QHBoxLayout;
    factsRow->addLayout(factsColumn);
    factsRow->addWidget(m_factChartView, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(m_summary);
    right->addWidget(m_chartView, 1);
    right->addLayout(factsRow);
    right->addWidget(m_weak);
    right->addWidget(m_record);
    auto *columns = new QHBoxLayout(this);
    columns->addLayout(left);
    columns->addLayout(right, 1);
}

QList<QWidget *> ChildPage::tabStops() const
{
    return {m_names, m_join, m_separate, m_facts};
}

QString ChildPage::currentKey() const
{
    const QListWidgetItem *item = m_names->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

const ChildReport *ChildPage::chosen() const
{
    const auto found = m_content.summary.children.constFind(currentKey());
    return found == m_content.summary.children.cend() ? nullptr : &*found;
}

void ChildPage::setContent(const ChildContent &content)
{
    m_content = content;
    m_record->setAccessibleDescription(content.record ? QStringLiteral("Record") : QStringLiteral("Miglior partita"));
    showNames();
    showChosen();
}

void ChildPage::showChild(const QString &key)
{
    const qsizetype row = m_content.summary.names.indexOf(key);
    if (row >= 0)
        m_names->setCurrentRow(int(row));
    m_names->setFocus();
}

// The same child stays chosen when new answers come in.
void ChildPage::showNames()
{
    const QString key = currentKey();
    const QSignalBlocker blocker(m_names);
    m_names->clear();
    int current = 0;
    for (const QString &k : std::as_const(m_content.summary.names)) {
        const ChildReport &child = m_content.summary.children[k];
        auto *item = new QListWidgetItem(childListText(child), m_names);
        item->setData(Qt::UserRole, k);
        // The name is cut in the list; whole in its tooltip and for a screen reader.
        const QString whole = childNameText(child);
        item->setToolTip(whole);
        item->setData(Qt::AccessibleTextRole, childListText(child, -1));
        if (k == key)
            current = m_names->count() - 1;
    }
    if (m_names->count() > 0)
        m_names->setCurrentRow(current);
}

void ChildPage::showChosen()
{
    const ChildReport *child = chosen();
    m_join->setEnabled(child && m_content.summary.names.size() > 1);
    m_separate->setEnabled(child && !child->joined.isEmpty());
    if (!child)
        return;
    const int t = m_content.tabellina;
    m_summary->setText(childSummaryText(*child));
    m_summary->setToolTip(childNameText(*child));
    m_weak->setText(weakFactsText(*child, t));
    m_record->setText(recordLine(*child, t, m_content.record));
    m_barsShown = -1;
    showGames();

    // The ten facts of the table, each with its state in words and in colour.
    for (int f = 1; f <= 10; ++f) {
        const FactStats &stats = child->fact(t, f);
        const QStringList cells = factCells(t, f, stats);
        const QString words = factDescription(t, f, stats);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == stateColumn)
                item->setBackground(stateColour(stats.state));
            if (stats.state == FactState::DaRipassare) {
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
            }
            item->setToolTip(words);
            item->setData(Qt::AccessibleDescriptionRole, words);
            item->setTextAlignment(c == 0 || c == stateColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                              : Qt::AlignRight | Qt::AlignVCenter);
            m_facts->setItem(f - 1, c, item);
        }
    }
    m_facts->resizeRowsToContents();
    m_facts->setFixedHeight(m_facts->horizontalHeader()->sizeHint().height() + m_facts->verticalHeader()->length()
                            + 2 * m_facts->frameWidth());
    showFact();
}

void ChildPage::showGames()
{
    const ChildReport *child = chosen();
    if (!child)
        return;
    const int maxBars = std::max(1, (m_chartView->width() - 90) / slotPixels);
    const ChartBars bars = chartBars(child->games, maxBars);
    if (int(bars.labels.size()) == m_barsShown && m_chart->series().size() == 1)
        return;
    m_barsShown = int(bars.labels.size());
    m_chartView->setAccessibleDescription(drawGames(m_chart, *child, bars));
}

void ChildPage::showFact()
{
    const ChildReport *child = chosen();
    const int f = m_facts->currentRow() + 1;
    const QString words = child && f >= 1 ? drawFact(m_factChart, *child, m_content.tabellina, f)
                                          : drawNothing(m_factChart, QStringLiteral("Scegli un fatto nella tabella"));
    m_factChartView->setAccessibleDescription(words);
}

bool ChildPage::eventFilter(QObject *watched, QEvent *event)
{
    // A wider or narrower chart holds more or fewer bars: games may be regrouped.
    if (watched == m_chartView && event->type() == QEvent::Resize)
        showGames();
    return QWidget::eventFilter(watched, event);
}
