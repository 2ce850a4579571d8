#pragma once

#include "core/AboutWindowController.h"
#include "forms/MainWindow.h"
#include "platform/Automation.h"
#include "platform/Executable.h"
#include "settings/SettingsStore.h"

namespace qmpvx {

// The main window's logic. It keeps no state of its own: the controls are the
// state (the START/STOP caption is the run flag, the timers say which wait runs).
// Every operation runs to its end or stops at the step that throws.
class MainWindowController {
public:
    static constexpr int kTimerInterval = 10000;  // milliseconds

    MainWindowController(MainWindow& window, SettingsStore& settings, const Executable& executable,
                         Automation& automation, ModalWindow& about);

    void Form_Load();
    void EXIT_BUTTON_Click();
    void Form_Unload();

    void READY_BUTTON_Click();
    void SEND_BUTTON_Click();

    void START_STOP_BUTTON_Click();
    void AUTOSTART_TIMER_Timer();
    void AUTOCLOSE_TIMER_Timer();

    void ABOUT_BUTTON_Click();

private:
    MainWindow& w_;
    SettingsStore& settings_;
    const Executable& executable_;
    Automation& automation_;
    ModalWindow& about_;
};

} // namespace qmpvx
