#pragma once

#include <QString>

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
};

inline const QString programTitle = QStringLiteral("Quizzolo");
