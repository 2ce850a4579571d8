#pragma once

#include "forms/MainWindow.h"
#include "core/MainWindowController.h"

#include <array>
#include <string_view>

namespace qmpvx::ui {

// The main window's controls, looked up by their design names in a rendered
// form of any toolkit.
template <typename Form>
MainWindow mainWindowControls(Form& form)
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

// Which control's event runs which of the main window's operations.
struct MainWindowEvent {
    std::string_view control;
    void (MainWindowController::*operation)();
};

inline constexpr std::array kMainWindowClicks{
    MainWindowEvent{"EXIT_BUTTON", &MainWindowController::EXIT_BUTTON_Click},
    MainWindowEvent{"READY_BUTTON", &MainWindowController::READY_BUTTON_Click},
    MainWindowEvent{"SEND_BUTTON", &MainWindowController::SEND_BUTTON_Click},
    MainWindowEvent{"START_STOP_BUTTON", &MainWindowController::START_STOP_BUTTON_Click},
    MainWindowEvent{"ABOUT_BUTTON", &MainWindowController::ABOUT_BUTTON_Click},
};

inline constexpr std::array kMainWindowTimers{
    MainWindowEvent{"AUTOSTART_TIMER", &MainWindowController::AUTOSTART_TIMER_Timer},
    MainWindowEvent{"AUTOCLOSE_TIMER", &MainWindowController::AUTOCLOSE_TIMER_Timer},
};

} // namespace qmpvx::ui
