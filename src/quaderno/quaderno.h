#pragma once

#include "scelte/scelte.h"
#include "storico/storico.h"

#include <QWidget>

#include <functional>

class ChildPage;
class ClassPage;
class HistoryWatch;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

// The notebook window: a history (one file, or a class folder of many) followed while it is
// open, shown on two pages, a child's and the class's, and printed. It makes the parts and
// wires them: HistoryWatch reads, ChildPage and ClassPage show, report.h prints; what they
// show is computed by storico/ and notebookdata. It is the only part that opens dialogs, and
// the only one that writes, the joins of names.
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

    // Makes the child of key count as the child of target (both keys of the summary), or
    // undoes the joins that count as key, in the joins file; a failure is said in a message.
    void joinChild(const QString &key, const QString &target);
    void separateChild(const QString &key);
    // Sets the table (and "Ripasso mirato") the children of keys start on, or, with no keys,
    // the class's, clearing every child's own; a failure is said in a message.
    void assignTable(const QStringList &keys, const Scelta &scelta);

signals:
    // The window shows a newly read summary (the first reading, or new answers).
    void loaded();

private:
    void buildControls();
    void buildLayout();
    void connectParts();
    void fitScreen();

    void follow(const QString &path, bool folder);
    QString joinsFile() const;
    void showSummary(const HistorySummary &summary);
    void showPages();
    void askJoin(const QString &key);
    void askAssign(const QStringList &keys);
    void showReach();
    QString choicesFolder() const;
    void changeJoins(const std::function<void(NameJoins &)> &change);
    void chooseFolder();
    void openCsv();

    QString m_dataFolder;
    QString m_path;
    bool m_folder = false;
    bool m_own = false;  // this computer's own history, whose record the child's page shows
    HistorySummary m_summary;
    Scelte::Tutte m_choices;
    bool m_shown = false;
    bool m_folderRead = false;  // the class folder followed was reached at least once
    QString m_awayText;         // what is said of the class folder out of reach; empty when reached

    HistoryWatch *m_watch;
    ChildPage *m_childPage;
    ClassPage *m_classPage;
    QLabel *m_message = nullptr;
    QLabel *m_away = nullptr;
    QPushButton *m_showOwn = nullptr;
    QComboBox *m_table = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLabel *m_skipped = nullptr;
    QLabel *m_pathLabel = nullptr;
    QPushButton *m_openFolder = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_close = nullptr;
};
