#pragma once

#include "platform/Automation.h"
#include "platform/wayland/KWinScripting.h"
#include "platform/wayland/WaylandDisplay.h"

#include <memory>
#include <optional>
#include <string>

namespace qmpvx::wayland {

// Activation by title and typing on KDE Plasma (KWin): windows, Wayland and
// XWayland alike, from KWin's scripting over D-Bus, which also activates the
// target and reports every change of the active window; keys through KWin's
// fake input, as keys of KWin's current layout. The target must stay the
// active window: checked before every key.
class KWinAutomation final : public Automation {
public:
    explicit KWinAutomation(std::unique_ptr<WaylandDisplay> display);
    ~KWinAutomation() override;

    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

    // Types into the window activated last.
    void type(std::string_view keys, bool wait);

private:
    struct Target {
        std::string id;
        std::string title;
    };

    // The connection to KWin, made again when it broke or when it had no
    // fake input: KWin decides on it for each new connection.
    WaylandDisplay& display();
    KWinScripting& scripting();
    void requireFakeInput();
    void typePlanned(std::string_view keys);

    std::unique_ptr<WaylandDisplay> display_;
    std::unique_ptr<KWinScripting> scripting_;
    std::optional<Target> target_;
    std::string ownAppId_;
};

} // namespace qmpvx::wayland
