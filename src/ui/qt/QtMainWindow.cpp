#include "ui/qt/QtMainWindow.h"

#include "ui/MainWindowEvents.h"

#include <QAbstractButton>

namespace qmpvx::qt {

QtMainWindow::QtMainWindow(SettingsStore& settings, const Executable& executable, Automation& automation,
                           EventDispatch& dispatch)
    : dispatch_(dispatch),
      about_(settings, dispatch),
      form_(renderForm(design::kMainWindow)),
      controls_(ui::mainWindowControls(*form_)),
      controller_(controls_, settings, executable, automation, about_)
{
    about_.setOwner(&form_->widget());
    wire();
}

void QtMainWindow::wire()
{
    // Each event runs its operation through the dispatch, which reports failures.
    using Operation = void (MainWindowController::*)();
    const auto run = [this](Operation operation) {
        return [this, operation] { dispatch_.run([this, operation] { (controller_.*operation)(); }); };
    };
    for (const auto& [name, operation] : ui::kMainWindowClicks) {
        auto* button = static_cast<QAbstractButton*>(&form_->widget(name));
        QObject::connect(button, &QAbstractButton::clicked, button, run(operation));
    }
    for (const auto& [name, operation] : ui::kMainWindowTimers) {
        QTimer* timer = &form_->qtimer(name);
        QObject::connect(timer, &QTimer::timeout, timer, run(operation));
    }

    // A close while the About window is open (the closing timer ticks on)
    // closes the About window first, so both windows save their settings.
    // An error shown earlier has been overcome once the close saves: an
    // unattended run that failed at first and then sent must still end.
    form_->widget().onClose = [this] {
        about_.close();
        if (dispatch_.run([this] { controller_.Form_Unload(); }))
            dispatch_.withdraw();
        form_->stopTimers();
    };
}

void QtMainWindow::start()
{
    dispatch_.run([this] { controller_.Form_Load(); });
    form_->widget().show();
}

} // namespace qmpvx::qt
