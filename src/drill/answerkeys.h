#pragma once

#include <QString>
#include <Qt>

// The character code a key pressed in the answer box produces, or 0 when it produces
// none. Printable characters, Backspace (8), Enter (13), Ctrl+Enter (10, a line feed),
// Escape (27) and Ctrl+letter (1 to 26) produce one; Tab (it moves the focus), Delete,
// arrows, function keys and any key pressed with Alt or Meta (access keys) do not. text
// is what the platform says the key types.
int answerKeyCode(int key, const QString &text, Qt::KeyboardModifiers modifiers);
// A key held with Alt or Meta is an access key: it never reaches the answer box.
bool isAccessKeyChord(Qt::KeyboardModifiers modifiers);
