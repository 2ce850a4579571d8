#include "ui/win32/Win32MainWindow.h"

#include "ui/MainWindowEvents.h"

namespace qmpvx::win32 {

Win32MainWindow::Win32MainWindow(SettingsStore& settings, const Executable& executable, Automation& automation,
                                 EventDispatch& dispatch)
    : dispatch_(dispatch),
      about_(settings, dispatch),
      form_(renderForm(design::kMainWindow)),
      controls_(ui::mainWindowControls(*form_)),
      controller_(controls_, settings, executable, automation, about_)
{
    about_.setOwner(form_->handle());
    wire();
}

void Win32MainWindow::wire()
{
    // Each event runs its operation through the dispatch, which reports failures.
    using Operation = void (MainWindowController::*)();
    const auto run = [this](Operation operation) {
        return [this, operation] { dispatch_.run([this, operation] { (controller_.*operation)(); }); };
    };
    for (const auto& [name, operation] : ui::kMainWindowClicks)
        form_->onClick[std::string(name)] = run(operation);
    for (const auto& [name, operation] : ui::kMainWindowTimers)
        form_->onTimer[std::string(name)] = run(operation);

    // A close while the About window is open (the closing timer ticks on)
    // closes the About window first, so both windows save their settings.
    // An error shown earlier has been overcome once the close saves: an
    // unattended run that failed at first and then sent must still end.
    form_->onClose = [this] {
        about_.close();
        if (dispatch_.run([this] { controller_.Form_Unload(); }))
            dispatch_.withdraw();
    };
}

void Win32MainWindow::start()
{
    dispatch_.run([this] { controller_.Form_Load(); });
    form_->show();
}

} // namespace qmpvx::win32
