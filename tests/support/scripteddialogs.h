#pragma once

#include "app/dialogs.h"

#include <QStringList>

// Answers the name dialog with a scripted text (or a cancel) and records every message.
class ScriptedDialogs final : public Dialogs
{
public:
    QString askText(const QString &prompt) override
    {
        prompts << prompt;
        return answer;
    }
    void message(const QString &text) override { messages << text; }

    QString answer;
    QStringList prompts;
    QStringList messages;
};
