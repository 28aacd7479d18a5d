#pragma once

#include "app/application.h"
#include "app/tavola.h"
#include "drill/question.h"
#include "support/recordingagent.h"
#include "support/scripteddialogs.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>
#include <random>

// Draws the scripted values first, then from a fixed seed: a game that replays.
class ScriptedRandom final : public RandomSource
{
public:
    void reseed() override { ++reseeds; }
    double next() override
    {
        if (!draws.empty()) {
            const double r = draws.front();
            draws.pop_front();
            return r;
        }
        return std::generate_canonical<double, 53>(m_engine);
    }
    // Queues the draws that give this tint and this second factor.
    void queue(int tinta, int fattore2)
    {
        draws.push_back((tinta - 1) / 10.0 + 0.05);
        draws.push_back((fattore2 - 1) / 10.0 + 0.05);
    }
    std::deque<double> draws;
    int reseeds = 0;

private:
    std::mt19937_64 m_engine{20261207};
};

// One window over a private data folder, with a recording character and scripted dialogs.
struct TavolaFixture
{
    TavolaFixture()
    {
        static bool setUp = false;
        if (!setUp) {
            setupApplication(*qApp);
            setUp = true;
        }
        // QSettings finds its folder once per process: one private folder, emptied for each window.
        static QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        QSettings(QStringLiteral("quizzolo"), QStringLiteral("quizzolo")).clear();
        qputenv("XDG_DATA_HOME", tmp.path().toLocal8Bit());
        dialogs.answer = QStringLiteral("Mario");
        window = std::make_unique<Tavola>(agent, dialogs, random);
        ended = std::make_unique<QSignalSpy>(window.get(), &Tavola::ended);
    }

    QString dataDir() const { return tmp.path() + QStringLiteral("/quizzolo/"); }
    void writeFile(const QString &name, const QByteArray &content) const
    {
        QDir().mkpath(dataDir());
        QFile f(dataDir() + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(name));
    }
    QByteArray readFile(const QString &name) const
    {
        QFile f(dataDir() + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void writeRecord(const QByteArray &punti, const QByteArray &nome) const
    {
        writeFile(QStringLiteral("azorpeli.txt"), punti);
        writeFile(QStringLiteral("nzorpeli.txt"), nome);
    }

    template<class T = QWidget>
    T *get(const char *name) const
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no control named %s", name);
        return w;
    }
    QString caption(const char *name) const { return get<QLabel>(name)->text(); }
    QString text(const char *name) const { return get<QLineEdit>(name)->text(); }

    // Start-up, then the window shown and activated: the first problem is posed.
    bool start()
    {
        window->load();
        return showAndActivate();
    }
    bool showAndActivate()
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowExposed(window.get()) && QTest::qWaitFor([this] { return posed(); });
    }
    bool posed() const { return get<QLabel>("lblconto")->text() == QStringLiteral("00.07.00"); }

    // Types into the answer box as a child would, then presses Enter.
    void answer(const QString &typed)
    {
        QWidget *box = get<QLineEdit>("Text3");
        QTest::keyClicks(box, typed);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void pressEnterOnFocus() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }

    QTemporaryDir tmp;
    RecordingAgent agent;
    ScriptedDialogs dialogs;
    ScriptedRandom random;
    std::unique_ptr<Tavola> window;
    std::unique_ptr<QSignalSpy> ended;
};
