#include "platform/wayland/DesktopChoice.h"

#include "platform/wayland/GnomeAutomation.h"
#include "platform/wayland/GnomeShell.h"
#include "platform/wayland/KWinAutomation.h"
#include "platform/wayland/KWinScripting.h"
#include "platform/wayland/WaylandAutomation.h"
#include "platform/wayland/XWaylandAutomation.h"
#include "platform/x11/X11Automation.h"

#include <cstdlib>
#include <stdexcept>

namespace qmpvx::wayland {

std::unique_ptr<Automation> automationForDesktop(Scheduler* scheduler)
{
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    if (waylandDisplay && *waylandDisplay) {
        try {
            auto display = std::make_unique<WaylandDisplay>();
            if (display->canTypeIntoWindows())
                return std::make_unique<WaylandAutomation>(std::move(display), scheduler);
            // KWin offers fake input only to programs it knows, so its name on the bus counts too.
            if (display->fakeInput() || display->fakeInputWithoutKeys() || KWinScripting::kwinOnSessionBus())
                return std::make_unique<KWinAutomation>(std::move(display));
            // GNOME: XWayland windows too, since mutter activates none on request from outside.
            if (GnomeShell::onSessionBus())
                return std::make_unique<GnomeAutomation>();
            return std::make_unique<XWaylandAutomation>(scheduler);
        } catch (const std::runtime_error&) {
            // No compositor after all: X11, if anything.
        }
    }
    auto x11 = std::make_unique<x11::X11Automation>(scheduler);
    x11->repairKeyboard();
    return x11;
}

} // namespace qmpvx::wayland
