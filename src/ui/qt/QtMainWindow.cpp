#include "ui/qt/QtMainWindow.h"

#include <QAbstractButton>

namespace qmpvx::qt {

namespace {

MainWindow controlsOf(RenderedForm& form)
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

QtMainWindow::QtMainWindow(SettingsStore& settings, const Executable& executable, Automation& automation,
                           EventDispatch& dispatch)
    : dispatch_(dispatch),
      about_(settings, dispatch),
      form_(renderForm(design::kMainWindow)),
      controls_(controlsOf(*form_)),
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
    const auto onClick = [&](std::string_view name, Operation operation) {
        auto* button = static_cast<QAbstractButton*>(&form_->widget(name));
        QObject::connect(button, &QAbstractButton::clicked, button, run(operation));
    };
    onClick("EXIT_BUTTON", &MainWindowController::EXIT_BUTTON_Click);
    onClick("READY_BUTTON", &MainWindowController::READY_BUTTON_Click);
    onClick("SEND_BUTTON", &MainWindowController::SEND_BUTTON_Click);
    onClick("START_STOP_BUTTON", &MainWindowController::START_STOP_BUTTON_Click);
    onClick("ABOUT_BUTTON", &MainWindowController::ABOUT_BUTTON_Click);
    QTimer* autoStart = &form_->qtimer("AUTOSTART_TIMER");
    QObject::connect(autoStart, &QTimer::timeout, autoStart, run(&MainWindowController::AUTOSTART_TIMER_Timer));
    QTimer* autoClose = &form_->qtimer("AUTOCLOSE_TIMER");
    QObject::connect(autoClose, &QTimer::timeout, autoClose, run(&MainWindowController::AUTOCLOSE_TIMER_Timer));

    // A close while the About window is open (the closing timer ticks on)
    // closes the About window first, so both windows save their settings.
    form_->widget().onClose = [this] {
        about_.close();
        dispatch_.run([this] { controller_.Form_Unload(); });
        form_->stopTimers();
    };
}

void QtMainWindow::start()
{
    dispatch_.run([this] { controller_.Form_Load(); });
    form_->widget().show();
}

} // namespace qmpvx::qt
