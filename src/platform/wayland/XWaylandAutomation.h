#pragma once

#include "platform/Automation.h"
#include "platform/Scheduler.h"
#include "platform/x11/X11Automation.h"

namespace qmpvx::wayland {

// A Wayland desktop that lets no other program find or activate its windows
// (GNOME, weston): X11 windows through XWayland
// still work, and a title that names none of them gets an answer that says
// why, and what works instead.
class XWaylandAutomation final : public Automation {
public:
    explicit XWaylandAutomation(Scheduler* scheduler);

    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

private:
    x11::X11Automation x11_;
};

} // namespace qmpvx::wayland
