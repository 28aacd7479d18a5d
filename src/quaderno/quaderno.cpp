#include "quaderno/quaderno.h"

#include "quaderno/report.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QResizeEvent>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <memory>

namespace {

const QColor rightColour(0x2f, 0x9e, 0x44);
const QColor wrongColour(0xd9, 0x48, 0x0f);
// A network folder may not report changes: it is looked at this often all the same.
constexpr int pollMs = 2000;
// The narrowest bar slot whose two-line date stays readable, in the chart's pixels.
constexpr int slotPixels = 52;

// A label that shows a value: its text is what a screen reader reads, its description
// says what it is.
QLabel *valueLabel(const char *objectName, const QString &description)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(objectName));
    label->setAccessibleDescription(description);
    label->setWordWrap(true);
    return label;
}

QPushButton *button(const char *objectName, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(QLatin1String(objectName));
    b->setAccessibleName(QString(text).remove(u'&'));
    return b;
}

// A table that is one stop of the Tab key: the arrows move inside it.
QTableWidget *table(const char *objectName, const QString &accessibleName, int columns)
{
    auto *t = new QTableWidget(0, columns);
    t->setObjectName(QLatin1String(objectName));
    t->setAccessibleName(accessibleName);
    t->setTabKeyNavigation(false);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    return t;
}

QLabel *titleFor(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

void clearChart(QChart *chart)
{
    chart->removeAllSeries();
    // removeAllSeries() deletes the series; a removed axis is the caller's to delete.
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

} // namespace

Quaderno::Quaderno(const QString &dataFolder, const QString &path, QWidget *parent)
    : QWidget(parent)
    , m_dataFolder(dataFolder)
    , m_watcher(new QFileSystemWatcher(this))
    , m_poll(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Quaderno dei progressi - Quizzolo"));
    setAccessibleName(QStringLiteral("Quaderno dei progressi"));
    resize(960, 700);

    m_message = valueLabel("lblMessaggio", QStringLiteral("Stato del quaderno"));
    m_message->setText(QStringLiteral("Lettura del quaderno in corso..."));
    QFont big = m_message->font();
    big.setPointSizeF(big.pointSizeF() * 1.2);
    m_message->setFont(big);

    m_table = new QComboBox;
    m_table->setObjectName(QStringLiteral("sceltaTabellina"));
    m_table->setAccessibleName(QStringLiteral("Tabellina"));
    for (int n = 2; n <= 10; ++n)
        m_table->addItem(QStringLiteral("Tabellina del %1").arg(n), n);

    m_names = new QListWidget;
    m_names->setObjectName(QStringLiteral("listaBambini"));
    m_names->setAccessibleName(QStringLiteral("Bambini"));
    m_names->setAccessibleDescription(QStringLiteral("I bambini in ordine alfabetico, con la data dell'ultima partita"));
    m_names->setMaximumWidth(260);

    m_childSummary = valueLabel("lblRiepilogo", QStringLiteral("Riepilogo del bambino"));
    QFont bold = m_childSummary->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_childSummary->setFont(bold);

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

    m_facts = table("tabellaFatti", QStringLiteral("Fatti della tabellina"), 5);
    m_facts->setRowCount(10);
    m_facts->setHorizontalHeaderLabels({QStringLiteral("Fatto"), QStringLiteral("Risposte"), QStringLiteral("Esatte"),
                                        QStringLiteral("Tempo mediano"), QStringLiteral("Stato")});
    m_facts->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_facts->horizontalHeader()->setStretchLastSection(true);
    m_facts->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_facts->setMinimumWidth(430);

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
    m_recordLabel = valueLabel("lblRecord", QStringLiteral("Record"));

    m_classWeak = valueLabel("lblClasseDaRipassare", QStringLiteral("Fatti da ripassare per la classe"));
    m_classWeak->setFont(bold);
    auto *legend = valueLabel("lblLegenda", QStringLiteral("Legenda dei simboli"));
    legend->setText(classLegendText());
    m_class = table("grigliaClasse", QStringLiteral("Classe"), 11);
    m_class->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_class->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_class->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_class->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_class->verticalHeader()->setDefaultSectionSize(m_class->fontMetrics().height() + 6);
    m_class->setAccessibleDescription(QStringLiteral("Un bambino per riga, un fatto per colonna; Invio apre la pagina del bambino"));

    m_skipped = valueLabel("lblRigheSaltate", QStringLiteral("Righe non lette"));
    m_pathLabel = valueLabel("lblFile", QStringLiteral("Percorso dello storico"));
    m_pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_openFolder = button("cmdApriCartella", QStringLiteral("Apri ca&rtella della classe..."));
    m_open = button("cmdApriFile", QStringLiteral("Apri il file CS&V"));
    m_print = button("cmdStampa", QStringLiteral("&Stampa..."));
    auto *close = button("cmdChiudi", QStringLiteral("&Chiudi"));
    m_open->setEnabled(false);
    m_print->setEnabled(false);

    // The child's page: the names on the left; the summary, the games, the facts beside
    // the chosen fact's chart, the facts to practise and the record on the right.
    auto *left = new QVBoxLayout;
    left->addWidget(titleFor(QStringLiteral("Ba&mbini"), m_names));
    left->addWidget(m_names);
    auto *factsRow = new QHBoxLayout;
    auto *factsColumn = new QVBoxLayout;
    factsColumn->addWidget(titleFor(QStringLiteral("&Fatti della tabellina"), m_facts));
    factsColumn->addWidget(m_facts);
    factsRow->addLayout(factsColumn);
    factsRow->addWidget(m_factChartView, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(m_childSummary);
    right->addWidget(m_chartView, 1);
    right->addLayout(factsRow);
    right->addWidget(m_weak);
    right->addWidget(m_recordLabel);
    auto *childPage = new QWidget;
    auto *columns = new QHBoxLayout(childPage);
    columns->addLayout(left);
    columns->addLayout(right, 1);

    auto *classPage = new QWidget;
    auto *classColumn = new QVBoxLayout(classPage);
    classColumn->addWidget(m_classWeak);
    classColumn->addWidget(legend);
    classColumn->addWidget(titleFor(QStringLiteral("&Griglia della classe"), m_class));
    classColumn->addWidget(m_class, 1);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("schede"));
    m_tabs->addTab(childPage, QStringLiteral("&Bambino"));
    m_tabs->addTab(classPage, QStringLiteral("C&lasse"));
    m_tabs->hide();

    auto *top = new QHBoxLayout;
    top->addWidget(titleFor(QStringLiteral("&Tabellina:"), m_table));
    top->addWidget(m_table);
    top->addStretch();
    top->addWidget(m_openFolder);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_open);
    buttons->addWidget(m_print);
    buttons->addStretch();
    buttons->addWidget(close);

    auto *main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(m_message);
    main->addWidget(m_tabs, 1);
    main->addWidget(m_skipped);
    main->addWidget(m_pathLabel);
    main->addLayout(buttons);
    m_skipped->hide();

    const QList<QWidget *> order{m_table, m_openFolder, m_names, m_facts, m_class, m_open, m_print, close};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_names, &QListWidget::currentRowChanged, this, &Quaderno::showChild);
    connect(m_table, &QComboBox::currentIndexChanged, this, [this] {
        showChild();
        showClass();
    });
    connect(m_facts, &QTableWidget::currentCellChanged, this, &Quaderno::showFactChart);
    connect(m_class, &QTableWidget::activated, this, [this](const QModelIndex &index) { openRow(index.row()); });
    connect(m_openFolder, &QPushButton::clicked, this, &Quaderno::chooseFolder);
    connect(m_open, &QPushButton::clicked, this, &Quaderno::openCsv);
    connect(m_print, &QPushButton::clicked, this, &Quaderno::print);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &Quaderno::refresh);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &Quaderno::refresh);
    m_poll->setInterval(pollMs);
    connect(m_poll, &QTimer::timeout, this, &Quaderno::refresh);

    // The game's own history is a file, even when something else stands in its place.
    if (path.isEmpty())
        follow(m_dataFolder + QLatin1String(historyFileName), false);
    else
        openPath(path);
}

Quaderno::~Quaderno()
{
    if (m_reader) {
        m_reader->wait();
        delete m_reader;
    }
}

int Quaderno::tabellina() const
{
    return m_table->currentData().toInt();
}

void Quaderno::openPath(const QString &path)
{
    follow(path, QFileInfo(path).isDir());
}

void Quaderno::follow(const QString &path, bool folder)
{
    m_path = QFileInfo(path).absoluteFilePath();
    m_folder = folder;
    // A follower of its own: one still reading the old path just finishes, unseen.
    m_follower = std::make_shared<HistoryFollower>(m_folder ? QStringList() : QStringList{m_path});
    m_shown = false;
    m_pathLabel->setText(m_folder ? QStringLiteral("Cartella della classe: %1").arg(QDir::toNativeSeparators(m_path))
                                  : QStringLiteral("File dello storico: %1").arg(QDir::toNativeSeparators(m_path)));
    m_open->setText(m_folder ? QStringLiteral("A&pri la cartella") : QStringLiteral("Apri il file CS&V"));
    m_open->setAccessibleName(QString(m_open->text()).remove(u'&'));
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_poll->start();
    refresh();
}

void Quaderno::refresh()
{
    if (m_reader) {
        m_again = true;
        return;
    }
    m_again = false;
    // Read off the window's thread; the result comes back through the event loop.
    auto result = std::make_shared<HistorySummary>();
    auto follower = m_follower;
    const QString folder = m_folder ? m_path : QString();
    const QString file = m_folder ? QString() : m_path;
    m_reader = QThread::create([result, follower, folder, file] {
        if (!folder.isEmpty())
            follower->setPaths(historyFilesIn(folder));
        // A folder where the game's file should be is no class: it is said as an error.
        if (!file.isEmpty() && QFileInfo(file).isDir())
            *result = readHistory(file);
        else
            *result = follower->refresh();
    });
    connect(m_reader, &QThread::finished, this, [this, result, follower] {
        m_reader->deleteLater();
        m_reader = nullptr;
        if (follower == m_follower)
            showSummary(std::move(*result));
        if (m_again)
            refresh();
    });
    m_reader->start();
}

void Quaderno::watch()
{
    // The watcher forgets a file that is replaced: whatever it lacks is added again after
    // each change.
    QStringList paths;
    if (m_folder) {
        paths = historyFilesIn(m_path);
        paths.append(m_path);
    } else {
        paths.append(m_path);
        paths.append(QFileInfo(m_path).absolutePath());
    }
    QStringList missing;
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    for (const QString &p : paths)
        if (!watched.contains(p) && QFileInfo::exists(p))
            missing.append(p);
    if (!missing.isEmpty())
        m_watcher->addPaths(missing);
}

QString Quaderno::currentKey() const
{
    const QListWidgetItem *item = m_names->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void Quaderno::showSummary(HistorySummary summary)
{
    // The poll mostly finds nothing new: the window is left as it is.
    if (m_shown && summary.entries == m_summary.entries && summary.skipped == m_summary.skipped
        && summary.error == m_summary.error && summary.exists == m_summary.exists && summary.names == m_summary.names)
        return;
    watch();
    m_shown = true;
    const QString key = currentKey();
    m_summary = std::move(summary);
    m_open->setEnabled(m_folder || (m_summary.exists && m_summary.error.isEmpty()));
    const QString skipped = m_summary.notHistory ? QString() : skippedText(m_summary.skipped);
    m_skipped->setText(skipped);
    m_skipped->setVisible(!skipped.isEmpty());

    if (m_summary.names.isEmpty()) {
        QString text = emptyHistoryText;
        if (m_summary.notHistory)
            text = notHistoryText;
        else if (!m_summary.error.isEmpty())
            text = QStringLiteral("Non riesco a leggere lo storico: %1.").arg(m_summary.error);
        m_message->setText(text);
        m_message->show();
        m_tabs->hide();
        m_print->setEnabled(false);
        emit loaded();
        return;
    }
    if (m_summary.error.isEmpty()) {
        m_message->hide();
    } else {
        m_message->setText(QStringLiteral("Lo storico è stato letto solo in parte: %1.").arg(m_summary.error));
        m_message->show();
    }
    // The first time there are children, the keyboard starts on their list.
    const bool first = m_tabs->isHidden();
    m_tabs->show();
    m_print->setEnabled(true);

    // The same child stays chosen when new answers come in.
    {
        const QSignalBlocker blocker(m_names);
        m_names->clear();
        int current = 0;
        for (const QString &k : std::as_const(m_summary.names)) {
            auto *item = new QListWidgetItem(childListText(m_summary.children[k]), m_names);
            item->setData(Qt::UserRole, k);
            if (k == key)
                current = m_names->count() - 1;
        }
        m_names->setCurrentRow(current);
    }
    showChild();
    showClass();
    if (first)
        m_names->setFocus();
    emit loaded();
}

void Quaderno::showChild()
{
    const auto found = m_summary.children.constFind(currentKey());
    if (found == m_summary.children.cend())
        return;
    const ChildReport &child = *found;
    const int t = tabellina();
    m_childSummary->setText(childSummaryText(child));
    m_weak->setText(weakFactsText(child, t));
    m_recordLabel->setText(recordText(readStoredRecord(m_dataFolder, t), t));
    m_barsShown = -1;
    showGamesChart();

    // The ten facts of the table, each with its state in words and in colour.
    for (int f = 1; f <= 10; ++f) {
        const FactStats &stats = child.fact(t, f);
        const QStringList cells = factCells(t, f, stats);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == 4)
                item->setBackground(stateColour(stats.state));
            if (stats.state == FactState::DaRipassare) {
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
            }
            item->setTextAlignment(c == 0 || c == 4 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            m_facts->setItem(f - 1, c, item);
        }
    }
    m_facts->resizeRowsToContents();
    m_facts->setFixedHeight(m_facts->horizontalHeader()->sizeHint().height() + m_facts->verticalHeader()->length()
                            + 2 * m_facts->frameWidth());
    showFactChart();
}

void Quaderno::showGamesChart()
{
    const auto found = m_summary.children.constFind(currentKey());
    if (found == m_summary.children.cend())
        return;
    const ChildReport &child = *found;
    const int maxBars = std::max(1, (m_chartView->width() - 90) / slotPixels);
    const ChartBars bars = chartBars(child.games, maxBars);
    if (int(bars.labels.size()) == m_barsShown && m_chart->series().size() == 1)
        return;
    m_barsShown = int(bars.labels.size());

    clearChart(m_chart);
    auto *right = new QBarSet(QStringLiteral("Esatte"));
    auto *wrong = new QBarSet(QStringLiteral("Sbagliate"));
    right->setColor(rightColour);
    wrong->setBrush(QBrush(wrongColour, Qt::BDiagPattern));
    wrong->setBorderColor(wrongColour);
    int highest = 1;
    for (qsizetype i = 0; i < bars.labels.size(); ++i) {
        *right << bars.right[i];
        *wrong << bars.wrong[i];
        highest = std::max(highest, bars.right[i] + bars.wrong[i]);
    }
    auto *series = new QStackedBarSeries;
    series->append(right);
    series->append(wrong);
    m_chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    QStringList labels = bars.labels;
    for (QString &label : labels)
        label.replace(u' ', QStringLiteral("<br>"));
    axisX->append(labels);
    axisX->setTitleText(bars.axisTitle);
    auto *axisY = new QValueAxis;
    // Whole, round numbers on the scale: a step of 1, 2 or 5 times a power of ten, about
    // five steps in all.
    int step = 1;
    for (int power = 1; step * 5 < highest; power *= 10)
        for (int m : {1, 2, 5})
            if (step * 5 < highest)
                step = m * power;
    axisY->setRange(0, (highest + step - 1) / step * step);
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0);
    axisY->setTickInterval(step);
    axisY->setLabelFormat(QStringLiteral("%d"));
    axisY->setTitleText(QStringLiteral("Risposte"));
    m_chart->addAxis(axisX, Qt::AlignBottom);
    m_chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisX);
    series->attachAxis(axisY);
    const QString period = periodText(child.games);
    const QString title = QStringLiteral("Risposte esatte e sbagliate in tutte le tabelline, %1").arg(period);
    m_chart->setTitle(title);
    m_chartView->setAccessibleDescription(title);
}

void Quaderno::showFactChart()
{
    clearChart(m_factChart);
    const auto found = m_summary.children.constFind(currentKey());
    const int f = m_facts->currentRow() + 1;
    if (found == m_summary.children.cend() || f < 1) {
        m_factChart->setTitle(QStringLiteral("Scegli un fatto nella tabella"));
        m_factChartView->setAccessibleDescription(m_factChart->title());
        return;
    }
    const int t = tabellina();
    const FactStats &stats = found->fact(t, f);
    const QString fact = factText(t, f);
    if (stats.timeline.isEmpty()) {
        m_factChart->setTitle(QStringLiteral("%1: nessuna risposta ancora").arg(fact));
        m_factChartView->setAccessibleDescription(m_factChart->title());
        return;
    }
    auto *line = new QLineSeries;
    auto *dots = new QScatterSeries;
    line->setColor(rightColour);
    dots->setColor(rightColour);
    dots->setMarkerSize(7);
    QString per;
    const QList<FactPoint> points = factPoints(stats.timeline, 30, &per);
    for (const FactPoint &point : points) {
        const qreal x = qreal(point.day.startOfDay().toMSecsSinceEpoch());
        const qreal y = 100.0 * point.right / std::max(1, point.answers);
        line->append(x, y);
        dots->append(x, y);
    }
    m_factChart->addSeries(line);
    m_factChart->addSeries(dots);
    auto *axisX = new QDateTimeAxis;
    axisX->setFormat(QStringLiteral("dd/MM"));
    axisX->setTitleText(per.left(1).toUpper() + per.mid(1));
    // A little room either side, so that no point sits on the frame and, with a day or
    // two only, no tick repeats a date.
    QDate first = points.first().day;
    QDate last = points.last().day;
    const qint64 days = first.daysTo(last);
    const qint64 pad = std::max<qint64>(1, days / 20);
    first = first.addDays(-pad);
    last = last.addDays(pad);
    axisX->setTickCount(int(std::min<qint64>(3, first.daysTo(last) + 1)));
    if (first.year() != last.year())
        axisX->setFormat(QStringLiteral("MM/yyyy"));
    axisX->setRange(first.startOfDay(), last.startOfDay());
    auto *axisY = new QValueAxis;
    axisY->setRange(0, 100);
    axisY->setTickCount(5);
    axisY->setLabelFormat(QStringLiteral("%d%%"));
    axisY->setTitleText(QStringLiteral("Esatte"));
    m_factChart->addAxis(axisX, Qt::AlignBottom);
    m_factChart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries *s : {static_cast<QAbstractSeries *>(line), static_cast<QAbstractSeries *>(dots)}) {
        s->attachAxis(axisX);
        s->attachAxis(axisY);
    }
    const FactPoint &a = stats.timeline.first();
    const FactPoint &b = stats.timeline.last();
    m_factChart->setTitle(QStringLiteral("%1: esatte, %2 per %2").arg(fact, per));
    m_factChartView->setAccessibleDescription(
        QStringLiteral("%1: il %2 %3 esatte su %4, il %5 %6 esatte su %7")
            .arg(fact, a.day.toString(QStringLiteral("dd/MM/yyyy")))
            .arg(a.right)
            .arg(a.answers)
            .arg(b.day.toString(QStringLiteral("dd/MM/yyyy")))
            .arg(b.right)
            .arg(b.answers));
}

void Quaderno::showClass()
{
    const int t = tabellina();
    const ClassGrid grid = classGrid(m_summary, t);
    m_classWeak->setText(grid.weakText);
    QStringList heads{QStringLiteral("Bambino")};
    for (int f = 1; f <= 10; ++f)
        heads.append(factText(t, f));
    m_class->setHorizontalHeaderLabels(heads);
    m_class->setRowCount(int(grid.keys.size()));
    for (int r = 0; r < grid.keys.size(); ++r) {
        auto *name = new QTableWidgetItem(grid.names[r]);
        name->setData(Qt::UserRole, grid.keys[r]);
        m_class->setItem(r, 0, name);
        for (int f = 0; f < 10; ++f) {
            const FactState s = grid.states[r][size_t(f)];
            auto *item = new QTableWidgetItem(stateSymbol(s));
            item->setTextAlignment(Qt::AlignCenter);
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
            item->setBackground(stateColour(s));
            // A screen reader says the word, not the symbol.
            const QString words = QStringLiteral("%1, %2: %3").arg(grid.names[r], factText(t, f + 1), factStateName(s));
            item->setData(Qt::AccessibleTextRole, factStateName(s));
            item->setToolTip(words);
            m_class->setItem(r, f + 1, item);
        }
    }
}

void Quaderno::openRow(int row)
{
    const QTableWidgetItem *item = m_class->item(row, 0);
    if (!item)
        return;
    const QString key = item->data(Qt::UserRole).toString();
    for (int i = 0; i < m_names->count(); ++i)
        if (m_names->item(i)->data(Qt::UserRole).toString() == key)
            m_names->setCurrentRow(i);
    m_tabs->setCurrentIndex(0);
    m_names->setFocus();
}

bool Quaderno::eventFilter(QObject *watched, QEvent *event)
{
    // A wider or narrower chart holds more or fewer bars: games may be regrouped.
    if (watched == m_chartView && event->type() == QEvent::Resize)
        showGamesChart();
    return QWidget::eventFilter(watched, event);
}

void Quaderno::print()
{
    const bool wholeClass = m_tabs->currentIndex() == 1;
    const QString key = currentKey();
    if (m_summary.names.isEmpty() || (!wholeClass && !m_summary.children.contains(key)))
        return;
    const ChildReport child = m_summary.children.value(key);
    const QString title = wholeClass ? QStringLiteral("Classe, tabellina del %1").arg(tabellina())
                                     : QStringLiteral("Quaderno di %1").arg(shortened(child.name));
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(wholeClass ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer here: the dialog offers the PDF file, named after what it holds.
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        // A name is no path: a slash in it would point into another folder.
        QString fileName = title + QStringLiteral(".pdf");
        fileName.replace(u'/', u'-');
        printer.setOutputFileName(folder + u'/' + fileName);
    }
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Stampa: %1").arg(title));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter(&printer);
    if (wholeClass) {
        QList<GameSummary> all;
        for (const ChildReport &c : std::as_const(m_summary.children))
            all.append(c.games);
        std::sort(all.begin(), all.end(), [](const GameSummary &a, const GameSummary &b) { return a.started < b.started; });
        paintClass(painter, painter.viewport(),
                   {classGrid(m_summary, tabellina()), tabellina(), periodText(all), QDateTime::currentDateTime()});
    } else {
        paintReport(painter, painter.viewport(),
                    {child, tabellina(), recordText(readStoredRecord(m_dataFolder, tabellina()), tabellina()),
                     QDateTime::currentDateTime()});
    }
}

void Quaderno::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Apri cartella della classe"),
                                                             m_folder ? m_path : QFileInfo(m_path).absolutePath());
    if (!folder.isEmpty())
        openPath(folder);
}

void Quaderno::openCsv()
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_path)))
        m_pathLabel->setText(QStringLiteral("Non riesco ad aprirlo con un altro programma; si trova qui: %1")
                                 .arg(QDir::toNativeSeparators(m_path)));
}
