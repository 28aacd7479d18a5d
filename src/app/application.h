#pragma once

#include <QApplication>

// Makes the application look and read the same wherever it runs: Qt's Italian
// translations for the standard buttons, the Fusion style, and stand-ins for the
// font families the window asks for.
void setupApplication(QApplication &app);

// The application object. An error that escapes an event handler ends up here: it is
// reported with the run-time error's message box and the program ends.
class QuizzoloApplication final : public QApplication
{
public:
    QuizzoloApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
