#include "quaderno/quaderno.h"

#include "quaderno/report.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QStandardPaths>
#include <QTableWidget>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <memory>

namespace {

const QColor rightColour(0x2f, 0x9e, 0x44);
const QColor wrongColour(0xd9, 0x48, 0x0f);

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

QPushButton *button(const char *objectName, const QString &text, const QString &accessibleName)
{
    auto *b = new QPushButton(text);
    b->setObjectName(QLatin1String(objectName));
    b->setAccessibleName(accessibleName);
    return b;
}

} // namespace

Quaderno::Quaderno(const QString &folder, QWidget *parent)
    : QWidget(parent)
    , m_folder(folder)
    , m_historyPath(folder + QLatin1String(historyFileName))
{
    setWindowTitle(QStringLiteral("Quaderno dei progressi - Quizzolo"));
    setAccessibleName(QStringLiteral("Quaderno dei progressi"));
    resize(960, 700);

    m_message = valueLabel("lblMessaggio", QStringLiteral("Stato del quaderno"));
    m_message->setText(QStringLiteral("Lettura del quaderno in corso..."));
    QFont big = m_message->font();
    big.setPointSizeF(big.pointSizeF() * 1.2);
    m_message->setFont(big);

    m_names = new QListWidget;
    m_names->setObjectName(QStringLiteral("listaBambini"));
    m_names->setAccessibleName(QStringLiteral("Bambini"));
    m_names->setAccessibleDescription(QStringLiteral("I bambini che hanno giocato, il più recente per primo"));
    m_names->setMaximumWidth(220);
    auto *namesTitle = new QLabel(QStringLiteral("&Bambini"));
    namesTitle->setBuddy(m_names);

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

    m_facts = new QTableWidget(10, 5);
    m_facts->setObjectName(QStringLiteral("tabellaFatti"));
    m_facts->setAccessibleName(QStringLiteral("Fatti della tabellina"));
    m_facts->setHorizontalHeaderLabels({QStringLiteral("Fatto"), QStringLiteral("Risposte"),
                                        QStringLiteral("Esatte"), QStringLiteral("Tempo mediano"),
                                        QStringLiteral("Da ripassare")});
    m_facts->verticalHeader()->hide();
    m_facts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_facts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_facts->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_facts->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_weak = valueLabel("lblDaRipassare", QStringLiteral("Fatti da ripassare"));
    m_weak->setFont(bold);
    m_recordLabel = valueLabel("lblRecord", QStringLiteral("Record"));
    m_skipped = valueLabel("lblRigheSaltate", QStringLiteral("Righe non lette"));
    m_path = valueLabel("lblFile", QStringLiteral("Percorso del file dello storico"));
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setText(QStringLiteral("File dello storico: %1").arg(QDir::toNativeSeparators(m_historyPath)));

    m_open = button("cmdApriFile", QStringLiteral("&Apri il file CSV"), QStringLiteral("Apri il file CSV"));
    m_print = button("cmdStampa", QStringLiteral("&Stampa..."), QStringLiteral("Stampa..."));
    auto *close = button("cmdChiudi", QStringLiteral("&Chiudi"), QStringLiteral("Chiudi"));
    m_open->setEnabled(false);
    m_print->setEnabled(false);

    // Layout: the names on the left, the chosen child on the right, the file below.
    auto *left = new QVBoxLayout;
    left->addWidget(namesTitle);
    left->addWidget(m_names);
    auto *right = new QVBoxLayout;
    right->addWidget(m_childSummary);
    right->addWidget(m_chartView, 1);
    right->addWidget(m_facts);
    right->addWidget(m_weak);
    right->addWidget(m_recordLabel);
    m_content = new QWidget;
    auto *columns = new QHBoxLayout(m_content);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->addLayout(left);
    columns->addLayout(right, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_open);
    buttons->addWidget(m_print);
    buttons->addStretch();
    buttons->addWidget(close);

    auto *main = new QVBoxLayout(this);
    main->addWidget(m_message);
    main->addWidget(m_content, 1);
    main->addWidget(m_skipped);
    main->addWidget(m_path);
    main->addLayout(buttons);
    m_content->hide();
    m_skipped->hide();

    connect(m_names, &QListWidget::currentTextChanged, this, &Quaderno::showChild);
    connect(m_open, &QPushButton::clicked, this, &Quaderno::openCsv);
    connect(m_print, &QPushButton::clicked, this, &Quaderno::print);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    // Read off the window's thread; the result comes back through the event loop.
    auto result = std::make_shared<HistorySummary>();
    const QString path = m_historyPath;
    m_reader = QThread::create([result, path] { *result = readHistory(path); });
    connect(m_reader, &QThread::finished, this, [this, result] {
        m_reader->deleteLater();
        m_reader = nullptr;
        showSummary(std::move(*result));
    });
    m_record = readStoredRecord(m_folder);
    m_reader->start();
}

Quaderno::~Quaderno()
{
    if (m_reader) {
        m_reader->wait();
        delete m_reader;
    }
}

void Quaderno::showSummary(HistorySummary summary)
{
    m_summary = std::move(summary);
    m_open->setEnabled(m_summary.exists && m_summary.error.isEmpty());
    const QString skipped = skippedText(m_summary.skipped);
    m_skipped->setText(skipped);
    m_skipped->setVisible(!skipped.isEmpty());

    if (m_summary.names.isEmpty()) {
        QString text = m_summary.error.isEmpty()
                           ? emptyHistoryText
                           : QStringLiteral("Non riesco a leggere lo storico: %1.").arg(m_summary.error);
        m_message->setText(text);
        m_message->show();
        m_content->hide();
        emit loaded();
        return;
    }
    if (m_summary.error.isEmpty()) {
        m_message->hide();
    } else {
        m_message->setText(QStringLiteral("Lo storico è stato letto solo in parte: %1.").arg(m_summary.error));
        m_message->show();
    }
    m_content->show();
    m_names->addItems(m_summary.names);
    m_names->setCurrentRow(0);
    m_print->setEnabled(true);
    emit loaded();
}

void Quaderno::showChild(const QString &name)
{
    const auto found = m_summary.children.constFind(name);
    if (found == m_summary.children.cend())
        return;
    const ChildReport &child = *found;
    m_childSummary->setText(childSummaryText(child));
    m_weak->setText(weakFactsText(child));
    m_recordLabel->setText(recordText(m_record));

    // The last games as stacked bars: right answers, then wrong ones above.
    m_chart->removeAllSeries();
    // removeAllSeries() deletes the series; a removed axis is the caller's to delete.
    for (QAbstractAxis *axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    const qsizetype first = std::max<qsizetype>(0, child.games.size() - gamesShown);
    auto *right = new QBarSet(QStringLiteral("Esatte"));
    auto *wrong = new QBarSet(QStringLiteral("Sbagliate"));
    right->setColor(rightColour);
    wrong->setBrush(QBrush(wrongColour, Qt::BDiagPattern));
    wrong->setBorderColor(wrongColour);
    const QList<GameSummary> games = child.games.mid(first);
    int highest = 1;
    for (const GameSummary &game : games) {
        *right << game.right;
        *wrong << game.wrong;
        highest = std::max(highest, game.right + game.wrong);
    }
    auto *series = new QStackedBarSeries;
    series->append(right);
    series->append(wrong);
    m_chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(gameLabels(games));
    auto *axisY = new QValueAxis;
    // Whole numbers only on the scale: a step of 1, 2, 3... up to about five steps.
    const int step = (highest + 4) / 5;
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
    const QString title = first == 0 ? QStringLiteral("Risposte esatte e sbagliate, partita per partita")
                                     : QStringLiteral("Risposte esatte e sbagliate nelle ultime %1 partite")
                                           .arg(child.games.size() - first);
    m_chart->setTitle(title);
    m_chartView->setAccessibleDescription(title);

    // The ten facts; the ones to practise are said in words and in bold.
    for (int f = 1; f <= 10; ++f) {
        const FactStats &stats = child.facts[size_t(f - 1)];
        const QStringList cells = factCells(f, stats);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (stats.weak) {
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
                item->setBackground(QColor(0xff, 0xf0, 0xc0));
            }
            item->setTextAlignment(c == 0 || c == 4 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            m_facts->setItem(f - 1, c, item);
        }
    }
    m_facts->resizeRowsToContents();
    m_facts->setFixedHeight(m_facts->horizontalHeader()->height() + m_facts->verticalHeader()->length()
                            + 2 * m_facts->frameWidth());
}

void Quaderno::print()
{
    const QListWidgetItem *item = m_names->currentItem();
    if (!item)
        return;
    const ChildReport &child = m_summary.children[item->text()];
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Quaderno di %1").arg(child.name));
    printer.setPageSize(QPageSize(QPageSize::A4));
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer here: the dialog offers the PDF file, named after the child.
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        // A name is no path: a slash in it would point into another folder.
        QString fileName = QStringLiteral("Quaderno di %1.pdf").arg(shortened(child.name));
        fileName.replace(u'/', u'-');
        printer.setOutputFileName(folder + u'/' + fileName);
    }
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Stampa il quaderno di %1").arg(child.name));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter(&printer);
    paintReport(painter, painter.viewport(), {child, recordText(m_record), QDateTime::currentDateTime()});
}

void Quaderno::openCsv()
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_historyPath)))
        m_path->setText(QStringLiteral("Non riesco ad aprire il file con un altro programma; si trova qui: %1")
                            .arg(QDir::toNativeSeparators(m_historyPath)));
}
