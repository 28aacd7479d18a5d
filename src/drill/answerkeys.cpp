#include "drill/answerkeys.h"

int answerKeyCode(int key, const QString &text, Qt::KeyboardModifiers modifiers)
{
    if (isAccessKeyChord(modifiers))
        return 0;
    // Enter held with Ctrl types a line feed: a key like any other, not the one that
    // submits the answer (Ctrl+M, the carriage return itself, still does).
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers.testFlag(Qt::ControlModifier))
        return 10;
    if (text.isEmpty() || key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return 0;
    const int code = text.at(0).unicode();
    // Delete reaches us as the character 0x7F; like the other editing keys it types nothing.
    if (code == 0x7f)
        return 0;
    return code;
}

bool isAccessKeyChord(Qt::KeyboardModifiers modifiers)
{
    return modifiers.testAnyFlags(Qt::AltModifier | Qt::MetaModifier);
}
