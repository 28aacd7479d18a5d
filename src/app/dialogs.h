#pragma once

#include <QString>

#include <functional>

// The program's modal dialogs: an input dialog and message boxes, all titled "Quizzolo",
// with an OK button only and no icon. Tests replace them with a scripted double.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // The text typed, or "" when the dialog is cancelled.
    virtual QString askText(const QString &prompt) = 0;
    virtual void message(const QString &text) = 0;
};

class QtDialogs final : public Dialogs
{
public:
    QString askText(const QString &prompt) override;
    void message(const QString &text) override;

    // Work done once the next input dialog has been drawn on screen, while it waits for
    // the answer; at the latest, before askText() returns.
    void whileAsking(std::function<void()> work);

private:
    std::function<void()> m_whileAsking;
};

inline const QString programTitle = QStringLiteral("Quizzolo");
