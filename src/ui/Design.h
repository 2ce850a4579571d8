#pragma once

#include <span>
#include <string_view>

namespace qmpvx::design {

// A window described as data, the way a form file describes a form: every
// renderer walks the same table. Positions and sizes are twips.

enum class Kind { Label, PushButton, TickBox, TextField, MultiLineTextField, Timer };

enum class Look {
    Standard,  // the platform's own look for the kind of control
    Display,   // black ground, green text, single border, bold
    Plain,     // dialog colours, no border, bold, left-aligned
};

enum class Align { Left, Centre };

struct Font {
    std::string_view face;
    float points;
    bool bold;
};

inline constexpr std::string_view kFace = "MS Sans Serif";
inline constexpr Font kDialogFont{kFace, 8.25f, false};

struct Control {
    std::string_view name;
    Kind kind;
    std::string_view caption;  // or the text of a text field
    int left = 0, top = 0, width = 0, height = 0;
    int tabIndex = -1;  // -1: no tab index (timers)
    Look look = Look::Standard;
    Font font = kDialogFont;
    Align align = Align::Left;
    bool enabled = true;
    int maxLength = 0;  // characters the user may type or paste; 0: no limit
};

struct Frame {
    int left, top, right, bottom;
};

struct Window {
    std::string_view name;
    std::string_view caption;
    int clientWidth, clientHeight;
    Frame frame;  // the frame at design: outer size = client + frame
    Font font;
    std::span<const Control> controls;
    std::string_view cancelButton;   // pressed by Esc; empty: none
    std::string_view defaultButton;  // pressed by Enter; empty: none
    std::string_view firstFocus;

    int outerWidth() const { return clientWidth + frame.left + frame.right; }
    int outerHeight() const { return clientHeight + frame.top + frame.bottom; }
};

// The display style's colours, red/green/blue.
struct Rgb {
    int red, green, blue;
};
inline constexpr Rgb kDisplayBackground{0, 0, 0};
inline constexpr Rgb kDisplayText{0, 255, 0};

extern const Window kMainWindow;

} // namespace qmpvx::design

namespace qmpvx::design {

extern const Window kAboutWindow;

} // namespace qmpvx::design
