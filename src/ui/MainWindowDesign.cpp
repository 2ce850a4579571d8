#include "ui/Design.h"

#include <array>

namespace qmpvx::design {

namespace {

constexpr Font kLabelFont{kFace, 8.25f, true};
constexpr Font kBold975{kFace, 9.75f, true};
constexpr Font kBold12{kFace, 12.0f, true};

// name, kind, caption, left, top, width, height, tab, look, font, align, enabled, max length
constexpr std::array kMainControls{
    Control{"QM_PVX_TITLE_1", Kind::Label, "QUILLMARSH - QM-PVX", 120, 120, 3495, 435, 11, Look::Display, kBold12, Align::Centre},
    Control{"EXE_NAME_LABEL", Kind::Label, "EXE FILE:", 3840, 120, 495, 375, 13, Look::Plain, kLabelFont},
    Control{"APP_EXE_NAME_TEXTBOX", Kind::Label, "App.EXEName", 4320, 120, 4935, 375, 14, Look::Display, kBold975},
    Control{"AUTOSTART_TICKBOX", Kind::TickBox, "AutoStart", 240, 600, 975, 255, 1},
    Control{"AUTOCLOSE_TICKBOX", Kind::TickBox, "AutoClose", 1560, 600, 1095, 255, 2},
    Control{"STATUS_LABEL", Kind::Label, "STATUS:", 2760, 720, 855, 255, 16, Look::Plain, kLabelFont},
    Control{"CURRENT_STATUS_LABEL", Kind::Label, "", 3600, 600, 4575, 375, 15, Look::Display, kBold975, Align::Centre},
    Control{"START_STOP_BUTTON", Kind::PushButton, "START", 8280, 600, 855, 375, 0},
    Control{"AUTO_ENTER_KEY_TICKBOX", Kind::TickBox, "AutoSend \"Enter\" Key At End", 240, 840, 2415, 255, 3},
    Control{"WINDOW_NAME_LABEL", Kind::Label, "TARGET WINDOW NAME", 120, 1200, 2415, 255, 10, Look::Plain, kLabelFont},
    Control{"WINDOW_NAME_TEXTBOX", Kind::TextField, "", 2520, 1080, 6735, 375, 4, Look::Standard, kBold975},
    Control{"TEXT_TO_SEND_LABEL", Kind::Label, "TEXT TO SEND - 1,000 CHARACTER MAX - 1 LINE ONLY - NOT MULTIPLE LINES !!!",
            120, 1560, 9255, 255, 12, Look::Plain, kLabelFont},
    Control{"TEXT_TO_SEND_TEXTBOX", Kind::MultiLineTextField, "", 120, 1920, 9135, 3015, 5, Look::Standard, kLabelFont,
            Align::Left, true, 1000},
    Control{"ABOUT_BUTTON", Kind::PushButton, "About", 360, 5160, 975, 495, 8},
    Control{"READY_BUTTON", Kind::PushButton, "Ready To Send", 1800, 5160, 1455, 495, 6},
    Control{"SEND_BUTTON", Kind::PushButton, "SEND TEXT STRING", 3720, 5160, 3375, 495, 7, Look::Standard, kDialogFont,
            Align::Left, false},
    Control{"EXIT_BUTTON", Kind::PushButton, "Exit", 7560, 5160, 1335, 495, 9},
    Control{"AUTOSTART_TIMER", Kind::Timer, "", 0, 0, 0, 0, -1, Look::Standard, kDialogFont, Align::Left, false},
    Control{"AUTOCLOSE_TIMER", Kind::Timer, "", 0, 0, 0, 0, -1, Look::Standard, kDialogFont, Align::Left, false},
};

} // namespace

const Window kMainWindow{
    .name = "QM_PVX_MAIN",
    .caption = "QM-PVX - QM-Pellivox",
    .clientWidth = 9390,
    .clientHeight = 5865,
    .frame = {45, 330, 45, 45},
    .font = kDialogFont,
    .controls = kMainControls,
    .cancelButton = "START_STOP_BUTTON",
    .defaultButton = "",
    .firstFocus = "START_STOP_BUTTON",
};

} // namespace qmpvx::design
