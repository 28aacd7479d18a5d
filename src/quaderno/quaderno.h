#pragma once

#include "quaderno/notebookdata.h"
#include "storico/storico.h"

#include <QWidget>

#include <memory>

class QChart;
class QChartView;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QThread;
class QTimer;

// The notebook window: the children found in a history (one file, or a class folder of
// many), for the chosen child a chart of every game, the facts of the chosen table with
// their states and how a fact's share right moved, and the record; the class at a glance
// as a grid of children by facts; a printed page of either. The files are read and then
// followed on a worker thread, so a long history never freezes the window and new
// answers appear while it is open; what is shown is computed by storico/ and notebookdata.
class Quaderno final : public QWidget
{
    Q_OBJECT

public:
    // dataFolder: the game's data folder, ending in "/", where this computer's records
    // are. path: a history file or a class folder; empty for the data folder's history.
    explicit Quaderno(const QString &dataFolder, const QString &path = QString(), QWidget *parent = nullptr);
    ~Quaderno() override;

    QString historyPath() const { return m_path; }
    const HistorySummary &summary() const { return m_summary; }
    int tabellina() const;
    // Reads a history file or a class folder instead of what is open now.
    void openPath(const QString &path);

    // Opens the print dialog for the chosen child, or for the class when its view is
    // shown; a printer or a PDF file.
    void print();

signals:
    // The window shows a newly read summary (the first reading, or new answers).
    void loaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(const QString &path, bool folder);
    void refresh();
    void watch();
    void showSummary(HistorySummary summary);
    void showChild();
    void showGamesChart();
    void showFactChart();
    void showClass();
    void openRow(int row);
    void chooseFolder();
    void openCsv();
    QString currentKey() const;

    QString m_dataFolder;
    QString m_path;
    bool m_folder = false;
    HistorySummary m_summary;
    bool m_shown = false;
    std::shared_ptr<HistoryFollower> m_follower;
    QThread *m_reader = nullptr;
    bool m_again = false;
    QFileSystemWatcher *m_watcher;
    QTimer *m_poll;
    int m_barsShown = -1;

    QLabel *m_message;
    QComboBox *m_table;
    QTabWidget *m_tabs;
    QListWidget *m_names;
    QLabel *m_childSummary;
    QChart *m_chart;
    QChartView *m_chartView;
    QTableWidget *m_facts;
    QChart *m_factChart;
    QChartView *m_factChartView;
    QLabel *m_weak;
    QLabel *m_recordLabel;
    QLabel *m_classWeak;
    QTableWidget *m_class;
    QLabel *m_skipped;
    QLabel *m_pathLabel;
    QPushButton *m_openFolder;
    QPushButton *m_open;
    QPushButton *m_print;
};
