#pragma once

#include "platform/x11/XConnection.h"

#include <chrono>
#include <string_view>

namespace qmpvx::x11 {

// Brings the window that `title` names (see findByTitle) to the foreground
// and returns it once it holds the keyboard focus; a window that holds it
// already is left as it is. Throws std::runtime_error, with a message for the
// user, when the title is empty, no window matches, the window closes, or it
// does not get the focus within `timeout`; nothing is typed then.
xcb_window_t activateByTitle(XConnection& conn, std::string_view title,
                             std::chrono::milliseconds timeout = std::chrono::seconds(2));

// Keys typed now would reach `topLevel`: the keyboard focus is on it or on a
// window inside it, and a window manager, if one runs, agrees that it is the
// active window. Cheap enough to ask before every key; false for a window
// that no longer exists.
bool holdsFocus(XConnection& conn, xcb_window_t topLevel);

} // namespace qmpvx::x11
