#pragma once

#include "platform/Automation.h"
#include "platform/Scheduler.h"

#include <memory>

namespace qmpvx::wayland {

// The backend for the desktop the program runs on: on a Wayland compositor
// that lists its windows and offers virtual keyboards, the Wayland one for
// every window; on KDE Plasma (KWin), the KWin one for every window; on
// GNOME, the one through the program's GNOME Shell extension for every
// window; on another Wayland desktop, X11 through XWayland; else X11.
// X11 keyboards a killed run left in disorder are repaired first.
std::unique_ptr<Automation> automationForDesktop(Scheduler* scheduler);

} // namespace qmpvx::wayland
