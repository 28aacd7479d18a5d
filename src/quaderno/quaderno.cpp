#include "quaderno/quaderno.h"

#include "core/tabellina.h"
#include "quaderno/childpage.h"
#include "quaderno/classpage.h"
#include "quaderno/controls.h"
#include "quaderno/historywatch.h"
#include "quaderno/notebookdata.h"
#include "quaderno/report.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

Quaderno::Quaderno(const QString &dataFolder, const QString &path, QWidget *parent)
    : QWidget(parent)
    , m_dataFolder(dataFolder)
    , m_watch(new HistoryWatch(this))
    , m_childPage(new ChildPage)
    , m_classPage(new ClassPage)
{
    setWindowTitle(QStringLiteral("Quaderno dei progressi - Quizzolo"));
    setAccessibleName(QStringLiteral("Quaderno dei progressi"));
    buildControls();
    buildLayout();
    connectParts();
    fitScreen();

    // The game's own history is a file, even when something else stands in its place.
    if (path.isEmpty())
        follow(m_dataFolder + QLatin1String(historyFileName), false);
    else
        openPath(path);
}

Quaderno::~Quaderno() = default;

void Quaderno::buildControls()
{
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

    // A class folder out of reach: what is shown is what was read before, and it says so.
    m_away = valueLabel("lblCartellaLontana", QStringLiteral("Cartella della classe"));
    QFont bold = m_away->font();
    bold.setBold(true);
    m_away->setFont(bold);
    m_away->hide();
    m_showOwn = button("cmdStoricoComputer", QStringLiteral("Mostra lo storico di &questo computer"));
    m_showOwn->hide();

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("schede"));
    m_tabs->addTab(m_childPage, QStringLiteral("&Bambino"));
    m_tabs->addTab(m_classPage, QStringLiteral("C&lasse"));
    m_tabs->hide();

    m_skipped = valueLabel("lblRigheSaltate", QStringLiteral("Righe non lette"));
    m_skipped->hide();
    m_pathLabel = valueLabel("lblFile", QStringLiteral("Percorso dello storico"));
    m_pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_openFolder = button("cmdApriCartella", QStringLiteral("Apri ca&rtella della classe..."));
    m_open = button("cmdApriFile", QStringLiteral("Apri il file CS&V"));
    m_print = button("cmdStampa", QStringLiteral("&Stampa..."));
    m_close = button("cmdChiudi", QStringLiteral("&Chiudi"));
    m_open->setEnabled(false);
    m_print->setEnabled(false);
}

// The table and the class folder on top; the message, the pages, the lines not read and the
// path in the middle; the buttons at the bottom.
void Quaderno::buildLayout()
{
    auto *top = new QHBoxLayout;
    top->addWidget(titleFor(QStringLiteral("&Tabellina:"), m_table));
    top->addWidget(m_table);
    top->addStretch();
    top->addWidget(m_openFolder);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_open);
    buttons->addWidget(m_print);
    buttons->addStretch();
    buttons->addWidget(m_close);

    auto *main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(m_message);
    main->addWidget(m_away);
    main->addWidget(m_showOwn, 0, Qt::AlignLeft);
    main->addWidget(m_tabs, 1);
    main->addWidget(m_skipped);
    main->addWidget(m_pathLabel);
    main->addLayout(buttons);

    QList<QWidget *> order{m_table, m_openFolder, m_showOwn};
    order += m_childPage->tabStops();
    order += m_classPage->tabStops();
    order += {m_open, m_print, m_close};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Quaderno::connectParts()
{
    connect(m_watch, &HistoryWatch::summaryRead, this, &Quaderno::showSummary);
    connect(m_table, &QComboBox::currentIndexChanged, this, &Quaderno::showPages);
    connect(m_classPage, &ClassPage::childActivated, this, [this](const QString &key) {
        m_tabs->setCurrentIndex(0);
        m_childPage->showChild(key);
    });
    connect(m_childPage, &ChildPage::joinAsked, this, &Quaderno::askJoin);
    connect(m_childPage, &ChildPage::separateAsked, this, &Quaderno::separateChild);
    connect(m_classPage, &ClassPage::assignAsked, this, &Quaderno::askAssign);
    connect(m_showOwn, &QPushButton::clicked, this,
            [this] { follow(m_dataFolder + QLatin1String(historyFileName), false); });
    connect(m_openFolder, &QPushButton::clicked, this, &Quaderno::chooseFolder);
    connect(m_open, &QPushButton::clicked, this, &Quaderno::openCsv);
    connect(m_print, &QPushButton::clicked, this, &Quaderno::print);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

// A comfortable size, never more than the screen holds.
void Quaderno::fitScreen()
{
    QSize size(960, 700);
    if (const QScreen *shown = screen())
        size = size.boundedTo(shown->availableSize());
    resize(size);
}

int Quaderno::tabellina() const
{
    return m_table->currentData().toInt();
}

void Quaderno::openPath(const QString &path)
{
    // The class folder of this computer's games is a folder even while it is out of reach.
    const QString classFolder = historyClassFolder();
    const bool configured = !classFolder.isEmpty() && QFileInfo(path).absoluteFilePath() == QFileInfo(classFolder).absoluteFilePath();
    follow(path, configured || QFileInfo(path).isDir());
}

// Where the children's choices are kept: the class folder, or this account's configuration.
QString Quaderno::choicesFolder() const
{
    return m_folder ? m_path : QString();
}

QString Quaderno::joinsFile() const
{
    return joinsFileIn(m_folder ? m_path : QFileInfo(m_path).absolutePath());
}

void Quaderno::follow(const QString &path, bool folder)
{
    m_path = QFileInfo(path).absoluteFilePath();
    m_folder = folder;
    const QString own = QFileInfo(m_dataFolder + QLatin1String(historyFileName)).absoluteFilePath();
    m_own = !folder && m_path == own;
    m_shown = false;
    m_folderRead = false;
    const QString shown = QDir::toNativeSeparators(m_path);
    m_pathLabel->setText(m_folder ? QStringLiteral("Cartella della classe: %1").arg(shown)
                         : m_own  ? QStringLiteral("Storico di questo computer: %1").arg(shown)
                                  : QStringLiteral("File dello storico: %1").arg(shown));
    m_open->setText(m_folder ? QStringLiteral("A&pri la cartella") : QStringLiteral("Apri il file CS&V"));
    m_open->setAccessibleName(QString(m_open->text()).remove(u'&'));
    // The class folder this computer's games copy their answers to is read with this
    // computer's own history, whose answers not yet copied there count too, once.
    HistorySources sources{{m_path}, {}, {}, joinsFile()};
    if (m_folder && m_path == QFileInfo(historyClassFolder()).absoluteFilePath())
        sources = classSources(m_path, own);
    else if (m_folder)
        sources.classFolder = m_path;
    m_watch->follow(sources, choicesFolder());
}

void Quaderno::showSummary(const HistorySummary &summary)
{
    // A reading mostly finds nothing new: the window is left as it is.
    if (m_shown && summary.entries == m_summary.entries && summary.skipped == m_summary.skipped
        && summary.skippedIn == m_summary.skippedIn && summary.error == m_summary.error
        && summary.exists == m_summary.exists && summary.names == m_summary.names && summary.joins == m_summary.joins
        && summary.outOfReach == m_summary.outOfReach && m_watch->choices() == m_choices)
        return;
    m_shown = true;
    m_summary = summary;
    m_choices = m_watch->choices();
    showReach();
    // Started while the class folder is away: this computer's answers are not shown as the
    // class's; they are offered, named as what they are.
    if (m_folder && !m_folderRead) {
        m_message->hide();
        m_tabs->hide();
        m_print->setEnabled(false);
        emit loaded();
        return;
    }
    m_open->setEnabled(m_folder || (m_summary.exists && m_summary.error.isEmpty()));
    const QString skipped = m_summary.notHistory ? QString() : skippedText(m_summary);
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
    showPages();
    if (first)
        m_childPage->tabStops().constFirst()->setFocus();
    emit loaded();
}

void Quaderno::showReach()
{
    const bool away = m_folder && m_summary.outOfReach.isValid();
    m_folderRead = m_folderRead || (m_folder && !away);
    m_awayText = away ? outOfReachText(m_summary.outOfReach, m_folderRead, QDateTime::currentDateTime()) : QString();
    m_away->setText(m_awayText);
    m_away->setVisible(away);
    m_showOwn->setVisible(away && !m_folderRead);
}

void Quaderno::showPages()
{
    const int t = tabellina();
    std::optional<StoredRecord> record;
    if (m_own)
        record = readStoredRecord(m_dataFolder, t);
    m_childPage->setContent({m_summary, t, record});
    ClassGrid grid = classGrid(m_summary, t);
    setTables(grid, m_choices);
    m_classPage->setGrid(grid);
}

void Quaderno::print()
{
    const bool wholeClass = m_tabs->currentIndex() == 1;
    const QString key = m_childPage->currentKey();
    if (m_summary.names.isEmpty() || (!wholeClass && !m_summary.children.contains(key)))
        return;
    const ChildReport child = m_summary.children.value(key);
    const int t = tabellina();
    const QString title = wholeClass ? QStringLiteral("Classe, tabellina del %1").arg(t)
                                     : QStringLiteral("Quaderno di %1").arg(childNameText(child, 40));
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
                   {m_classPage->grid(), periodText(all), QDateTime::currentDateTime(), m_awayText});
    } else {
        std::optional<StoredRecord> record;
        if (m_own)
            record = readStoredRecord(m_dataFolder, t);
        paintReport(painter, painter.viewport(),
                    {child, t, recordLine(child, t, record), QDateTime::currentDateTime(), m_awayText});
    }
}

void Quaderno::askJoin(const QString &key)
{
    if (!m_summary.children.contains(key))
        return;
    // The other children, each named once even where two long names are cut alike.
    QStringList items;
    QStringList keys;
    for (const QString &k : std::as_const(m_summary.names)) {
        if (k == key)
            continue;
        QString item = childNameText(m_summary.children[k], 40);
        for (int n = 2; items.contains(item); ++n)
            item = childNameText(m_summary.children[k], 40) + QStringLiteral(" (%1)").arg(n);
        items.append(item);
        keys.append(k);
    }
    bool chosen = false;
    const QString item = QInputDialog::getItem(
        this, QStringLiteral("Unisci a..."),
        QStringLiteral("Le risposte di %1 contano come quelle di:").arg(childNameText(m_summary.children[key], 40)), items,
        0, false, &chosen);
    if (chosen && items.contains(item))
        joinChild(key, keys[items.indexOf(item)]);
}

void Quaderno::joinChild(const QString &key, const QString &target)
{
    const QString name = m_summary.children.value(key).name;
    const QString targetName = m_summary.children.value(target).name;
    if (name.isEmpty() || targetName.isEmpty())
        return;
    changeJoins([&](NameJoins &joins) { joins.join(name, targetName); });
}

void Quaderno::separateChild(const QString &key)
{
    changeJoins([&](NameJoins &joins) { joins.separate(key); });
}

// The file is read again just before it is written, so that a join another teacher made
// meanwhile is kept; one with lines that are no joins is left as it is.
void Quaderno::changeJoins(const std::function<void(NameJoins &)> &change)
{
    const QString file = joinsFile();
    JoinsRead read = readJoins(file);
    QString error = read.error;
    if (error.isEmpty() && read.skipped > 0)
        error = QStringLiteral("%1 ha righe che non sono nomi uniti: correggilo o cancellalo, poi riprova").arg(file);
    if (error.isEmpty()) {
        change(read.joins);
        error = writeJoins(file, read.joins);
    }
    if (!error.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Nomi uniti"),
                             QStringLiteral("Non riesco a salvare i nomi uniti: %1. Lo storico non è cambiato.").arg(error));
        return;
    }
    m_watch->refresh();
}

void Quaderno::askAssign(const QStringList &keys)
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Assegna tabellina"));
    auto *whole = new QRadioButton(QStringLiteral("A &tutta la classe (anche a chi non ha ancora giocato)"));
    auto *chosen = new QRadioButton(keys.isEmpty()     ? QStringLiteral("Ai &bambini scelti nella griglia (nessuno per ora)")
                                    : keys.size() == 1 ? QStringLiteral("Al &bambino scelto nella griglia")
                                                       : QStringLiteral("Ai %1 &bambini scelti nella griglia").arg(keys.size()));
    chosen->setEnabled(!keys.isEmpty());
    (keys.isEmpty() ? whole : chosen)->setChecked(true);
    auto *table = new QComboBox;
    table->setAccessibleName(QStringLiteral("Tabellina"));
    for (int n = 2; n <= 10; ++n)
        table->addItem(QStringLiteral("Tabellina del %1").arg(n), n);
    table->addItem(QStringLiteral("Tutte le tabelline"), tutteLeTabelline);
    table->setCurrentIndex(table->findData(tabellina()));
    auto *ripasso = new QCheckBox(QStringLiteral("&Ripasso mirato"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *form = new QVBoxLayout(&dialog);
    form->addWidget(whole);
    form->addWidget(chosen);
    form->addWidget(titleFor(QStringLiteral("Tabe&llina:"), table));
    form->addWidget(table);
    form->addWidget(ripasso);
    form->addWidget(new QLabel(QStringLiteral("Vale dalla prossima partita; il bambino può sempre cambiarla dal menu.")));
    form->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted)
        assignTable(chosen->isChecked() ? keys : QStringList(), {table->currentData().toInt(), ripasso->isChecked()});
}

void Quaderno::assignTable(const QStringList &keys, const Scelta &scelta)
{
    Scelte scelte(choicesFolder());
    if (!(keys.isEmpty() ? scelte.assegnaClasse(scelta) : scelte.assegnaBambini(keys, scelta))) {
        QMessageBox::warning(this, QStringLiteral("Assegna tabellina"),
                             QStringLiteral("Non riesco ad assegnare la tabellina: %1.").arg(scelte.error()));
        return;
    }
    m_watch->refresh();
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
