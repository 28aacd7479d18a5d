#pragma once

#include "quaderno/notebookdata.h"
#include "storico/storico.h"

#include <QWidget>

class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QThread;

// The notebook window: the children found in the history, and for the chosen one a chart
// of the games, the table of the ten facts and the record, with a printed report. The
// history is read on a worker thread, so a very long file never freezes the window; what
// is shown is computed by the plain code in storico/ and notebookdata.
class Quaderno final : public QWidget
{
    Q_OBJECT

public:
    // folder: the game's data folder, ending in "/"; reading starts at once.
    explicit Quaderno(const QString &folder, QWidget *parent = nullptr);
    ~Quaderno() override;

    QString historyPath() const { return m_historyPath; }
    const HistorySummary &summary() const { return m_summary; }

    // Opens the print dialog for the chosen child; a printer or a PDF file.
    void print();

signals:
    void loaded();

private:
    void showSummary(HistorySummary summary);
    void showChild(const QString &name);
    void openCsv();

    QString m_folder;
    QString m_historyPath;
    HistorySummary m_summary;
    StoredRecord m_record;
    QThread *m_reader = nullptr;

    QLabel *m_message;
    QWidget *m_content;
    QListWidget *m_names;
    QLabel *m_childSummary;
    QChart *m_chart;
    QChartView *m_chartView;
    QTableWidget *m_facts;
    QLabel *m_weak;
    QLabel *m_recordLabel;
    QLabel *m_skipped;
    QLabel *m_path;
    QPushButton *m_open;
    QPushButton *m_print;
};
