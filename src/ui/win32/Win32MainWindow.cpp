#include "ui/win32/Win32MainWindow.h"

namespace qmpvx::win32 {

namespace {

MainWindow controlsOf(Form& form)
{
    return MainWindow{
        .QM_PVX_MAIN = form.window(),
        .START_STOP_BUTTON = form.button("START_STOP_BUTTON"),
        .READY_BUTTON = form.button("READY_BUTTON"),
        .SEND_BUTTON = form.button("SEND_BUTTON"),
        .AUTOSTART_TIMER = form.timer("AUTOSTART_TIMER"),
        .AUTOCLOSE_TIMER = form.timer("AUTOCLOSE_TIMER"),
        .CURRENT_STATUS_LABEL = form.label("CURRENT_STATUS_LABEL"),
        .APP_EXE_NAME_TEXTBOX = form.label("APP_EXE_NAME_TEXTBOX"),
        .AUTOSTART_TICKBOX = form.tickBox("AUTOSTART_TICKBOX"),
        .AUTOCLOSE_TICKBOX = form.tickBox("AUTOCLOSE_TICKBOX"),
        .AUTO_ENTER_KEY_TICKBOX = form.tickBox("AUTO_ENTER_KEY_TICKBOX"),
        .WINDOW_NAME_TEXTBOX = form.textField("WINDOW_NAME_TEXTBOX"),
        .TEXT_TO_SEND_TEXTBOX = form.textField("TEXT_TO_SEND_TEXTBOX"),
    };
}

} // namespace

Win32MainWindow::Win32MainWindow(SettingsStore& settings, const Executable& executable, Automation& automation,
                                 EventDispatch& dispatch)
    : dispatch_(dispatch),
      about_(settings, dispatch),
      form_(renderForm(design::kMainWindow)),
      controls_(controlsOf(*form_)),
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
    form_->onClick["EXIT_BUTTON"] = run(&MainWindowController::EXIT_BUTTON_Click);
    form_->onClick["READY_BUTTON"] = run(&MainWindowController::READY_BUTTON_Click);
    form_->onClick["SEND_BUTTON"] = run(&MainWindowController::SEND_BUTTON_Click);
    form_->onClick["START_STOP_BUTTON"] = run(&MainWindowController::START_STOP_BUTTON_Click);
    form_->onClick["ABOUT_BUTTON"] = run(&MainWindowController::ABOUT_BUTTON_Click);
    form_->onTimer["AUTOSTART_TIMER"] = run(&MainWindowController::AUTOSTART_TIMER_Timer);
    form_->onTimer["AUTOCLOSE_TIMER"] = run(&MainWindowController::AUTOCLOSE_TIMER_Timer);

    // A close while the About window is open (the closing timer ticks on)
    // closes the About window first, so both windows save their settings.
    form_->onClose = [this] {
        about_.close();
        dispatch_.run([this] { controller_.Form_Unload(); });
    };
}

void Win32MainWindow::start()
{
    dispatch_.run([this] { controller_.Form_Load(); });
    form_->show();
}

} // namespace qmpvx::win32
