#pragma once

#include "platform/x11/Keyboard.h"
#include "platform/x11/KeystrokePlan.h"
#include "platform/x11/LoanLedger.h"
#include "platform/x11/PingReceipts.h"
#include "platform/x11/XConnection.h"

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace qmpvx::x11 {

// Time that counts towards the settling of a borrowed keycode: only time in
// which the X server answers round trips promptly. A client reads a key with
// the mapping current when it handles the event, and while the server is
// held up (some window managers make it recompile the keymap on every
// mapping change, for up to a second each) every client's reading is too.
class SettleClock {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kPrompt = std::chrono::milliseconds(50);

    explicit SettleClock(XConnection& connection) : connection_(connection) {}
    ~SettleClock();
    SettleClock(const SettleClock&) = delete;
    SettleClock& operator=(const SettleClock&) = delete;

    Clock::duration credited() const { return credited_; }
    // How long the server has answered every probe promptly.
    Clock::duration calm() const;
    // A round trip now, timed; blocks until the server answers.
    void probe();
    // Never blocks: takes the answer to the probe sent at the last call, or
    // sends one. Meant to be called every few tens of milliseconds.
    void poll();

private:
    void answered(Clock::time_point sent, Clock::time_point now);

    XConnection& connection_;
    Clock::duration credited_{};
    Clock::time_point lastAnswer_ = Clock::now();
    Clock::time_point lastStall_ = Clock::now();
    std::optional<unsigned> pending_;
    Clock::time_point pendingSince_;
};

// The keycodes this run has borrowed, what each level carries, and when each
// was last typed through. A level is settled once the target must have read
// every key typed through it: when the target has answered a ping sent after
// its last key (a target that gives its word); else two seconds of prompt
// server time after its last key (longer would only keep the keyboard
// changed; shorter loses keys of a busy target), and the server calm again
// for a moment, so that a client whose every round trip waited behind a
// stall has caught up; or at most ten seconds however the server behaves.
// Only then may its symbol change or the keycode go back.
class KeycodeLoans {
public:
    static constexpr auto kSettle = std::chrono::seconds(2);
    static constexpr auto kCalm = std::chrono::milliseconds(300);
    static constexpr auto kLongest = std::chrono::seconds(10);

    KeycodeLoans(XConnection& connection, LoanLedger& ledger);
    ~KeycodeLoans();
    KeycodeLoans(const KeycodeLoans&) = delete;
    KeycodeLoans& operator=(const KeycodeLoans&) = delete;

    bool empty() const { return loans_.empty(); }
    std::vector<std::uint8_t> keycodes() const;

    // The borrowed keycodes as a plan sees them, followed by `free` ones.
    std::vector<BorrowableKeycode> borrowable(const std::vector<std::uint8_t>& free) const;

    // Maps the keycodes, recorded first in the ledger, all in one go, the
    // way `how` says (four levels with the server's four-level type).
    void lend(const KeycodeSymbols& symbols, const KeymapWrites& how);
    // A key typed through the slot; `reader` is the window whose answers
    // vouch for it, or XCB_NONE when only the clock can tell.
    void typedThrough(const Slot& slot, xcb_window_t reader);
    bool settled(const std::vector<Slot>& slots) const;
    // Blocks until every slot is settled. On a termination request it stops,
    // saying that `stopped` was cut short.
    void waitUntilSettled(const std::vector<Slot>& slots, const std::string& stopped);

    PingReceipts& receipts() { return receipts_; }
    // Blocks until `window` has answered `question`, at most `timeout`;
    // returns early on a termination request, which the caller acts on.
    bool waitForAnswer(xcb_window_t window, std::uint64_t question, std::chrono::milliseconds timeout);

    // Gives back every keycode whose levels are all settled, without
    // blocking; true while some remain lent.
    bool restoreSettled();
    // Gives everything back now (the program ends).
    void restoreAll() noexcept;

private:
    struct LevelUse {
        SettleClock::Clock::duration credited{};
        SettleClock::Clock::time_point at{};
        xcb_window_t reader = XCB_NONE;
        std::uint64_t question = 0;  // an answer to this question or a later one vouches
    };
    struct Loan {
        LevelSymbols keysyms{};
        std::array<std::optional<LevelUse>, kBorrowedLevels> lastUse;
    };

    bool settled(const Loan& loan, std::size_t level) const;
    void restore(const std::vector<std::uint8_t>& keycodes);

    XConnection& connection_;
    LoanLedger& ledger_;
    SettleClock clock_;
    PingReceipts receipts_;
    std::map<std::uint8_t, Loan> loans_;
};

} // namespace qmpvx::x11
