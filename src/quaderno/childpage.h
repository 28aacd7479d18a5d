#pragma once

#include "quaderno/notebookdata.h"
#include "storico/storico.h"

#include <QWidget>

#include <optional>

class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

// What the child's page shows: the children of a summary, the facts of one table, and
// this computer's record when the history is this computer's own.
struct ChildContent
{
    HistorySummary summary;
    int tabellina = 2;
    std::optional<StoredRecord> record;  // none: the child's best game is shown instead
};

// The child's page: the children in a list; for the chosen one a summary, a chart of every
// game, the facts of the table with their states beside the chosen fact's chart, the facts
// to practise and the record line. It keeps its child chosen while new content comes, and
// says when the user asks to join or separate names; the window does the asking and writing.
class ChildPage final : public QWidget
{
    Q_OBJECT

public:
    explicit ChildPage(QWidget *parent = nullptr);

    void setContent(const ChildContent &content);
    // Chooses the child of key (as Enter on the class grid does) and puts the keyboard on the list.
    void showChild(const QString &key);
    QString currentKey() const;
    // The page's stops of the Tab key, in order.
    QList<QWidget *> tabStops() const;

signals:
    // "Unisci a..." on the chosen child.
    void joinAsked(const QString &key);
    // "Separa" on the chosen child, who has names joined to it.
    void separateAsked(const QString &key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildLayout();
    void showNames();
    void showChosen();
    void showGames();
    void showFact();
    const ChildReport *chosen() const;

    ChildContent m_content;
    int m_barsShown = -1;

    QListWidget *m_names;
    QPushButton *m_join;
    QPushButton *m_separate;
    QLabel *m_summary;
    QChart *m_chart;
    QChartView *m_chartView;
    QTableWidget *m_facts;
    QChart *m_factChart;
    QChartView *m_factChartView;
    QLabel *m_weak;
    QLabel *m_record;
};
