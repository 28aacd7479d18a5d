#include "app/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

QString QtDialogs::askText(const QString &prompt)
{
    QInputDialog dialog;
    dialog.setWindowTitle(programTitle);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

void QtDialogs::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, programTitle, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    // Above the wizard, who stays on top of the window and may stand where the box opens.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}
