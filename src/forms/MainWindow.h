#pragma once

#include "forms/Controls.h"

namespace qmpvx {

// The controls of the main window QM_PVX_MAIN that its logic and settings use.
struct MainWindow {
    Window& QM_PVX_MAIN;
    Button& START_STOP_BUTTON;
    Button& READY_BUTTON;
    Button& SEND_BUTTON;
    Timer& AUTOSTART_TIMER;
    Timer& AUTOCLOSE_TIMER;
    Label& CURRENT_STATUS_LABEL;
    Label& APP_EXE_NAME_TEXTBOX;
    TickBox& AUTOSTART_TICKBOX;
    TickBox& AUTOCLOSE_TICKBOX;
    TickBox& AUTO_ENTER_KEY_TICKBOX;
    TextField& WINDOW_NAME_TEXTBOX;
    TextField& TEXT_TO_SEND_TEXTBOX;
};

} // namespace qmpvx
