#include "core/MainWindowController.h"

#include "core/Delivery.h"
#include "core/StatusTexts.h"

namespace qmpvx {

MainWindowController::MainWindowController(MainWindow& window, SettingsStore& settings,
                                           const Executable& executable, Automation& automation,
                                           ModalWindow& about)
    : w_(window), settings_(settings), executable_(executable), automation_(automation), about_(about)
{
}

void MainWindowController::Form_Load()
{
    std::vector<BadSetting> bad = settings_.restoreGeometry(w_.QM_PVX_MAIN, kMainGeometry);

    const std::string exeName = executable_.name();
    w_.APP_EXE_NAME_TEXTBOX.setCaption(exeName);
    w_.QM_PVX_MAIN.setCaption(std::string(caption::kMainWindowPrefix) + exeName);

    const std::vector<BadSetting> badControls = settings_.restoreMainControls(w_);
    bad.insert(bad.end(), badControls.begin(), badControls.end());

    w_.AUTOSTART_TIMER.setInterval(kTimerInterval);
    w_.AUTOCLOSE_TIMER.setInterval(kTimerInterval);

    if (isTicked(w_.AUTOSTART_TICKBOX)) {
        w_.AUTOSTART_TIMER.setEnabled(true);
        w_.CURRENT_STATUS_LABEL.setCaption(status::kAutoStarting);
        w_.START_STOP_BUTTON.setCaption(caption::kStop);
        w_.READY_BUTTON.setEnabled(false);
    } else {
        w_.AUTOSTART_TIMER.setEnabled(false);
        w_.CURRENT_STATUS_LABEL.setCaption(status::kReady);
        w_.START_STOP_BUTTON.setCaption(caption::kStart);
        w_.READY_BUTTON.setEnabled(true);
    }

    // A bad stored value must not keep the program from starting: the load is
    // complete with defaults in its place, and only now is it reported.
    if (!bad.empty())
        throw BadStoredSettings(bad, settings_.location());
}

void MainWindowController::EXIT_BUTTON_Click()
{
    settings_.saveMainWindow(w_);
    w_.QM_PVX_MAIN.close();
}

void MainWindowController::Form_Unload()
{
    settings_.saveMainWindow(w_);
}

void MainWindowController::READY_BUTTON_Click()
{
    w_.SEND_BUTTON.setEnabled(true);
    w_.CURRENT_STATUS_LABEL.setCaption(status::kReadyToSend);
}

// Every manual send must be armed again: the button is disabled first, and
// stays disabled when the delivery fails.
void MainWindowController::SEND_BUTTON_Click()
{
    w_.SEND_BUTTON.setEnabled(false);
    deliver(w_, automation_, DeliveryKind::Manual);
    settings_.saveMainWindow(w_);
}

// The caption is the run flag: "START" starts a countdown, anything else stops.
void MainWindowController::START_STOP_BUTTON_Click()
{
    if (w_.START_STOP_BUTTON.caption() == caption::kStart) {
        w_.START_STOP_BUTTON.setCaption(caption::kStop);
        w_.READY_BUTTON.setEnabled(false);
        w_.SEND_BUTTON.setEnabled(false);
        w_.AUTOSTART_TIMER.setEnabled(true);
        w_.CURRENT_STATUS_LABEL.setCaption(status::kRestarting);
    } else {
        w_.START_STOP_BUTTON.setCaption(caption::kStart);
        w_.READY_BUTTON.setEnabled(true);
        w_.AUTOSTART_TIMER.setEnabled(false);
        w_.AUTOCLOSE_TIMER.setEnabled(false);
        w_.CURRENT_STATUS_LABEL.setCaption(status::kAborted);
    }
}

// A failed delivery leaves the timer running, so the send is tried again at
// the next tick: an unattended start can wait for a program still starting.
void MainWindowController::AUTOSTART_TIMER_Timer()
{
    w_.SEND_BUTTON.setEnabled(false);
    w_.START_STOP_BUTTON.setCaption(caption::kStop);
    w_.READY_BUTTON.setEnabled(false);
    w_.CURRENT_STATUS_LABEL.setCaption(status::kAutoSending);

    deliver(w_, automation_, DeliveryKind::Automatic);

    if (isTicked(w_.AUTOCLOSE_TICKBOX)) {
        w_.AUTOCLOSE_TIMER.setEnabled(true);
        w_.CURRENT_STATUS_LABEL.setCaption(status::kAutoClosing);
    } else {
        w_.AUTOCLOSE_TIMER.setEnabled(false);
        w_.CURRENT_STATUS_LABEL.setCaption(status::kAutoSendCompleted);
        w_.START_STOP_BUTTON.setCaption(caption::kStart);
        w_.READY_BUTTON.setEnabled(true);
    }
    w_.AUTOSTART_TIMER.setEnabled(false);
}

void MainWindowController::AUTOCLOSE_TIMER_Timer()
{
    w_.AUTOCLOSE_TIMER.setEnabled(false);
    w_.QM_PVX_MAIN.close();
}

void MainWindowController::ABOUT_BUTTON_Click()
{
    about_.showModal();
}

} // namespace qmpvx
