#pragma once

#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeycodeLoans.h"
#include "platform/x11/LoanLedger.h"
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

// What a send did that a user may wait for.
struct TypingReport {
    std::size_t waits = 0;  // times typing waited for earlier keys to be read before changing the keyboard
};

// Types key actions with XTest into the window that holds the focus, which
// must be the target: before every key it checks that the target still has
// the focus and stops at once when it has moved, or when the program is
// asked to end. Held keys are waited for, Caps Lock is off while typing, and
// on every way out no key stays pressed and Caps Lock is as it was. Borrowed
// keycodes stay lent (in `loans`) after it returns, until the target must
// have read them; what it presses and lends is in the ledger first. Keys
// are refused while another client holds the keyboard. With `wait`, it
// returns once the target has said it read the keys, or after a short
// settle time for a target that cannot say.
TypingReport typeWithXTest(XConnection& connection, LoanLedger& ledger, KeycodeLoans& loans,
                   const std::vector<keys::KeyAction>& actions, const TypingTarget& target, bool wait);

} // namespace qmpvx::x11
