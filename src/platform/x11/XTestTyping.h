#pragma once

#include "platform/keys/KeyNotation.h"
#include "platform/x11/XConnection.h"

#include <chrono>
#include <string>
#include <vector>

namespace qmpvx::x11 {

struct TypingTarget {
    xcb_window_t window;
    std::string title;
};

// How long a target may still take to read keys the server has delivered: a
// fixed part for a turn of its event loop and a part per typed key. Measured:
// xterm reads 1000 keys 7 to 12 ms after the last one was sent, a GTK entry
// 470 ms after (0.47 ms a key, the slowest reader measured).
std::chrono::milliseconds settleTime(std::size_t keys);

// Types key actions with XTest into the window that holds the focus, which
// must be the target: before every key it checks that the target still has
// the focus and stops at once when it has moved. Held keys are waited for,
// Caps Lock is off while typing, and on every way out no key stays pressed and
// the keyboard mapping and Caps Lock are as they were.
void typeWithXTest(XConnection& connection, const std::vector<keys::KeyAction>& actions,
                   const TypingTarget& target, bool wait);

} // namespace qmpvx::x11
