#pragma once

#include <QApplication>

#include <functional>
#include <optional>

class Dialogs;
class RuntimeError;

// Makes the application look and read the same wherever it runs: Qt's Italian
// translations for the standard buttons, the Fusion style, and stand-ins for the
// font families the window asks for.
void setupApplication(QApplication &app);

// Says a run-time error: "quizzolo: " and its message on stderr, then its message box.
// Only Tavola::reportError calls it, which also stops the game and ends it.
void reportRuntimeError(const RuntimeError &error, Dialogs &dialogs);

// The command line: "--tabellina N" (2 to 10) or "--tabellina tutte", and "--help".
// Returns the status to end with at once (0 after the help, 2 after a bad command line,
// said on stderr in Italian), or nothing to play; tabellina then holds the table asked, if any.
std::optional<int> readCommandLine(const QStringList &arguments, std::optional<int> &tabellina);

// The application object. A run-time error that escapes an event handler outside the
// window's own (the character's queued requests) ends up here: it goes to the window's
// reporter, and the program ends at once with its status, since the handler it cut short
// may have left things half done.
class QuizzoloApplication final : public QApplication
{
public:
    QuizzoloApplication(int &argc, char **argv);
    void setErrorReporter(std::function<void(const RuntimeError &)> reporter);
    bool notify(QObject *receiver, QEvent *event) override;

private:
    std::function<void(const RuntimeError &)> m_reporter;
};
