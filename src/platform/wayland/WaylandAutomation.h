#pragma once

#include "platform/Automation.h"
#include "platform/Scheduler.h"
#include "platform/wayland/TargetCheck.h"
#include "platform/wayland/WaylandDisplay.h"
#include "platform/x11/X11Automation.h"

#include <memory>
#include <optional>
#include <string>

namespace qmpvx::wayland {

// Activation by title and typing on a wlroots compositor: windows from its
// toplevel list (XWayland ones too), activated through the seat, keys from a
// virtual keyboard whose keymap holds every character of the text. The
// target must stay activated: it is checked before every key. A window of
// the compositor's XWayland is typed into through X11 once activated: its
// X11 clients read a changed keymap lazily, which the X11 typing allows for
// and the virtual keyboard's swaps of keymap cannot.
class WaylandAutomation final : public Automation {
public:
    // `display` must offer both protocols (canTypeIntoWindows()). The
    // scheduler gives borrowed X11 keycodes back.
    WaylandAutomation(std::unique_ptr<WaylandDisplay> display, Scheduler* scheduler);

    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

    // Types into the window activated last.
    void type(std::string_view keys, bool wait);

private:
    WaylandDisplay& display();

    std::unique_ptr<WaylandDisplay> display_;
    std::optional<TypingTarget> target_;
    std::string ownAppId_;
    x11::X11Automation xwayland_;
    bool throughXWayland_ = false;
};

// The app id this program's own windows carry: what Qt gives a program
// without a desktop file name, its executable's name up to the first dot.
std::string ownAppId();

} // namespace qmpvx::wayland
