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

// After the server has handled the last key, the time a target gets before
// SendKeys returns: xterm read the last of 1000 keys 7 to 12 ms later.
inline constexpr std::chrono::milliseconds kSettleTime{50};

// How long a target may still take to read keys typed through borrowed
// keycodes before they are remapped: a client translates a key with the
// mapping current when it reads it. Measured: a GTK entry read the last of
// 1000 keys 470 ms after it was sent (0.47 ms a key, the slowest reader
// measured); the fixed part leaves room for a busy machine.
std::chrono::milliseconds loanSettleTime(std::size_t keys);

// Types key actions with XTest into the window that holds the focus, which
// must be the target: before every key it checks that the target still has
// the focus and stops at once when it has moved. Held keys are waited for,
// Caps Lock is off while typing, and on every way out no key stays pressed and
// the keyboard mapping and Caps Lock are as they were.
void typeWithXTest(XConnection& connection, const std::vector<keys::KeyAction>& actions,
                   const TypingTarget& target, bool wait);

} // namespace qmpvx::x11
