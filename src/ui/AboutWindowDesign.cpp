#include "ui/Design.h"

#include <array>

namespace qmpvx::design {

namespace {

constexpr Font kBold12{kFace, 12.0f, true};

// name, kind, caption, left, top, width, height, tab, look, font, align
constexpr std::array kAboutControls{
    Control{"QM_PVX_TITLE_1", Kind::Label, "QUILLMARSH - QM-PVX", 120, 120, 3615, 480, 3, Look::Display, kBold12, Align::Centre},
    Control{"QM_PVX_TITLE_2", Kind::Label, "QM-Pellivox", 3840, 120, 3135, 480, 1, Look::Display, kBold12, Align::Centre},
    Control{"QM_DORVELL_VERSION", Kind::Label, "Version 1.0", 3840, 720, 3135, 465, 2, Look::Display, kBold12, Align::Centre},
    Control{"QM_PVX_CREATOR", Kind::Label, "Created By Ketrovan5", 120, 1320, 6855, 450, 4, Look::Display, kBold12, Align::Centre},
    Control{"OK_BUTTON", Kind::PushButton, "OK", 2760, 2040, 2055, 495, 0},
};

} // namespace

const Window kAboutWindow{
    .name = "QM_PVX_ABOUT",
    .caption = "QM-PVX - QM-Pellivox - ABOUT",
    .clientWidth = 7125,
    .clientHeight = 2730,
    .frame = {45, 330, 45, 45},
    .font = kDialogFont,
    .controls = kAboutControls,
    .cancelButton = "",
    .defaultButton = "OK_BUTTON",
    .firstFocus = "OK_BUTTON",
};

} // namespace qmpvx::design
