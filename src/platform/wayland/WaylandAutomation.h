#pragma once

#include "platform/Automation.h"
#include "platform/wayland/WaylandDisplay.h"

#include <memory>
#include <optional>
#include <string>

namespace qmpvx::wayland {

// Activation by title and typing on a wlroots compositor: windows from its
// toplevel list (XWayland ones too), activated through the seat, keys from a
// virtual keyboard whose keymap holds every character of the text. The
// target must stay activated: it is checked before every key.
class WaylandAutomation final : public Automation {
public:
    // `display` must offer both protocols (canTypeIntoWindows()).
    explicit WaylandAutomation(std::unique_ptr<WaylandDisplay> display);

    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

    // Types into the window activated last.
    void type(std::string_view keys, bool wait);

private:
    struct Target {
        std::uint64_t id;
        std::string title;
    };

    WaylandDisplay& display();

    std::unique_ptr<WaylandDisplay> display_;
    std::optional<Target> target_;
    std::string ownAppId_;
};

// The app id this program's own windows carry: what Qt gives a program
// without a desktop file name, its executable's name up to the first dot.
std::string ownAppId();

} // namespace qmpvx::wayland
