#include "app/dialogs.h"

#include <QEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <utility>

namespace {

// Runs its work once its dialog has painted itself for the first time: queued behind the
// paint, so the dialog's picture has gone to the screen before the work starts.
class AfterFirstPaint final : public QObject
{
public:
    AfterFirstPaint(QDialog *dialog, std::function<void()> &work)
        : QObject(dialog)
        , m_work(work)
    {
        dialog->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parent() && event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                if (m_work)
                    std::exchange(m_work, {})();
            });
        }
        return false;
    }

private:
    std::function<void()> &m_work;
};

} // namespace

QString QtDialogs::askText(const QString &prompt)
{
    // Outlives the dialog, whose child holds on to it.
    std::function<void()> work = std::exchange(m_whileAsking, {});
    QInputDialog dialog;
    dialog.setWindowTitle(programTitle);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    if (work)
        new AfterFirstPaint(&dialog, work);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // A dialog answered before it was ever drawn still has the work done before it returns.
    if (work)
        std::exchange(work, {})();
    return accepted ? dialog.textValue() : QString();
}

void QtDialogs::whileAsking(std::function<void()> work)
{
    m_whileAsking = std::move(work);
}

void QtDialogs::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, programTitle, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    // Above the wizard, who stays on top of the window and may stand where the box opens.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}
