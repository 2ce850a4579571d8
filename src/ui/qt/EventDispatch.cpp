#include "ui/qt/EventDispatch.h"

#include "platform/posix/TerminationSignals.h"
#include "ui/EventFailure.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace qmpvx::qt {

EventDispatch::EventDispatch() = default;

EventDispatch::~EventDispatch()
{
    delete dialog_.data();
}

bool EventDispatch::run(const std::function<void()>& operation) noexcept
{
    const std::optional<std::string> message = ui::runCatchingFailure(operation);
    posix::endAsSignalAsks();
    if (message)
        report(*message);
    return !message;
}

void EventDispatch::withdraw() noexcept
{
    // Deleting it also cancels a show still waiting for the event loop.
    delete dialog_.data();
}

void EventDispatch::report(const std::string& message) noexcept
{
    if (!QApplication::instance())
        return;
    try {
        if (!dialog_) {
            // No owner: the dialog outlives a main window whose close failed to
            // save, so that failure is still seen.
            dialog_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("QM-PVX - Error"), QString(),
                                      QMessageBox::Ok);
            dialog_->setWindowModality(Qt::NonModal);
            QObject::connect(dialog_.data(), &QMessageBox::finished, [] {
                for (const QWidget* window : QApplication::topLevelWidgets()) {
                    if (window->isVisible() && !qobject_cast<const QMessageBox*>(window))
                        return;
                }
                QApplication::quit();
            });
        }
        dialog_->setText(QString::fromUtf8(message.c_str()));
        // Shown once the current event is done, so it stands above a window
        // that the failing operation was about to show.
        QTimer::singleShot(0, dialog_.data(), [dialog = dialog_] {
            if (!dialog)
                return;
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
        });
    } catch (...) {
        // The message is on standard error; never let reporting throw.
    }
}

} // namespace qmpvx::qt
