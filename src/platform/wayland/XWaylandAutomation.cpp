#include "platform/wayland/XWaylandAutomation.h"

#include "platform/TitleMatch.h"

#include <stdexcept>
#include <string>

namespace qmpvx::wayland {

namespace {

// How the X11 backend says that no window matched.
constexpr std::string_view kNoSuchWindow = "No window with the title";

} // namespace

XWaylandAutomation::XWaylandAutomation(Scheduler* scheduler) : x11_(scheduler)
{
    x11_.repairKeyboard();
}

void XWaylandAutomation::AppActivate(std::string_view title)
{
    try {
        x11_.AppActivate(title);
    } catch (const std::runtime_error& error) {
        if (!std::string_view(error.what()).starts_with(kNoSuchWindow))
            throw;
        throw std::runtime_error(
            "No X11 window with the title " + quotedTitle(title) +
            " or a title beginning with it is open. On this Wayland desktop only windows of X11 programs "
            "(through XWayland) can be found and typed into: the desktop lets no other program activate "
            "or type into windows of Wayland programs. Start the target as an X11 program (many accept "
            "GDK_BACKEND=x11 or QT_QPA_PLATFORM=xcb), or use KDE Plasma or a wlroots desktop such as sway. Nothing was typed.");
    }
}

std::unique_ptr<ShellObject> XWaylandAutomation::CreateObject(std::string_view className)
{
    return x11_.CreateObject(className);
}

} // namespace qmpvx::wayland
