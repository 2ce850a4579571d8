#pragma once

#include "platform/Automation.h"
#include "platform/wayland/GnomeShell.h"
#include "platform/wayland/TargetCheck.h"

#include <memory>
#include <optional>
#include <string>

namespace qmpvx::wayland {

// Activation by title and typing on GNOME on Wayland, through the program's
// own GNOME Shell extension: windows, Wayland and XWayland alike, from the
// shell's list; activated and checked for the keyboard focus inside the
// shell; keys planned here, typed there through a virtual keyboard, with
// characters the layout lacks on a temporary keymap the extension puts
// back. The focus is checked again before each stretch of keys.
class GnomeAutomation final : public Automation {
public:
    GnomeAutomation();

    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

private:
    // Types into the window activated last; the extension answers only once
    // the target has had the time it needs, whether or not the caller waits.
    void type(std::string_view keys);
    GnomeShell& shell();

    std::unique_ptr<GnomeShell> shell_;
    std::optional<TypingTarget> target_;
    std::string ownAppId_;
};

} // namespace qmpvx::wayland
