#pragma once

#include "speech/agent.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class DesktopCharacter;

// The agent component of the desktop: characters come from the program's characters
// folder, which the fixed character path of the old platform maps to.
class DesktopAgent final : public Agent
{
public:
    struct Options
    {
        QString charactersFolder;   // empty: <executable's folder>/../share/quizzolo/chars
        bool silent = false;        // speak without sound even when an output exists
    };

    DesktopAgent();
    explicit DesktopAgent(Options options);
    ~DesktopAgent() override;

    void load(const QString &id, const QString &file) override;
    AgentCharacter &character(const QString &id) override;
    DesktopCharacter &desktopCharacter(const QString &id);
    // The main window's client area, for every character loaded now or later: their
    // MoveTo positions are relative to it while its window is on screen. Their balloons
    // cover none of keptInSight while they are visible.
    void setAnchor(QWidget *clientArea, const QList<QWidget *> &keptInSight = {});

    static QString defaultCharactersFolder();

private:
    QList<QWidget *> keptInSight() const;

    Options m_options;
    QPointer<QWidget> m_anchor;
    QList<QPointer<QWidget>> m_keptInSight;
    std::vector<std::pair<QString, std::unique_ptr<DesktopCharacter>>> m_characters;
};

// The component the program uses.
std::unique_ptr<DesktopAgent> createDesktopAgent();
