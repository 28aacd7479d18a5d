#pragma once

#include "app/dialogs.h"

#include <QStringList>

#include <functional>

// Answers the name dialog with a scripted text (or a cancel) and records every message.
class ScriptedDialogs final : public Dialogs
{
public:
    QString askText(const QString &prompt) override
    {
        prompts << prompt;
        return answer;
    }
    void message(const QString &text) override
    {
        messages << text;
        if (whileOpen)
            whileOpen(text);
    }

    QString answer;
    QStringList prompts;
    QStringList messages;
    // Runs while a message box is open, as the event loop of a modal box would.
    std::function<void(const QString &)> whileOpen;
};
