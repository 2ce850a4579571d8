#include "platform/x11/KeycodeLoans.h"

#include "platform/Termination.h"
#include "platform/x11/Keyboard.h"

#include <xcb/xcbext.h>

#include <algorithm>
#include <thread>

namespace qmpvx::x11 {

namespace {

// A longer gap between two answers says nothing about the time in between.
constexpr auto kLongestCredit = std::chrono::milliseconds(250);
constexpr auto kWaitStep = std::chrono::milliseconds(20);

} // namespace

SettleClock::~SettleClock()
{
    if (pending_)
        xcb_discard_reply(connection_.get(), *pending_);
}

void SettleClock::answered(Clock::time_point sent, Clock::time_point now)
{
    if (now - sent <= kPrompt)
        credited_ += std::min<Clock::duration>(now - lastAnswer_, kLongestCredit);
    else
        lastStall_ = now;
    lastAnswer_ = now;
}

SettleClock::Clock::duration SettleClock::calm() const
{
    const auto now = Clock::now();
    // A probe unanswered for longer than a prompt answer takes is a stall already.
    if (pending_ && now - pendingSince_ > kPrompt)
        return {};
    return now - lastStall_;
}

void SettleClock::probe()
{
    const auto sent = Clock::now();
    connection_.sync();
    answered(sent, Clock::now());
}

void SettleClock::poll()
{
    xcb_connection_t* c = connection_.get();
    if (!pending_) {
        pending_ = xcb_get_input_focus(c).sequence;
        pendingSince_ = Clock::now();
        xcb_flush(c);
        return;
    }
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (!xcb_poll_for_reply(c, *pending_, &reply, &error))
        return;
    std::free(reply);
    std::free(error);
    pending_.reset();
    if (xcb_connection_has_error(c))
        throw NoX11Session("The connection to the X server was lost.");
    answered(pendingSince_, Clock::now());
}

KeycodeLoans::KeycodeLoans(XConnection& connection, LoanLedger& ledger)
    : connection_(connection), ledger_(ledger), clock_(connection), receipts_(connection)
{
    connection_.onEvent([this](const xcb_generic_event_t& event) { receipts_.take(event); });
}

KeycodeLoans::~KeycodeLoans()
{
    restoreAll();
    connection_.onEvent(nullptr);
}

bool KeycodeLoans::settled(const Loan& loan, std::size_t level) const
{
    const auto& use = loan.lastUse[level];
    return !use || (use->reader != XCB_NONE && receipts_.answered(use->reader, use->question)) ||
           (clock_.credited() - use->credited >= kSettle && clock_.calm() >= kCalm) ||
           SettleClock::Clock::now() - use->at >= kLongest;
}

std::vector<std::uint8_t> KeycodeLoans::keycodes() const
{
    std::vector<std::uint8_t> all;
    for (const auto& [keycode, loan] : loans_)
        all.push_back(keycode);
    return all;
}

std::vector<BorrowableKeycode> KeycodeLoans::borrowable(const std::vector<std::uint8_t>& free) const
{
    std::vector<BorrowableKeycode> keycodes;
    for (const auto& [keycode, loan] : loans_) {
        BorrowableKeycode borrowed{keycode, loan.keysyms, {}};
        for (std::size_t level = 0; level < kBorrowedLevels; ++level) {
            if (!settled(loan, level))
                borrowed.lastUse[level] =
                    static_cast<std::uint64_t>(loan.lastUse[level]->at.time_since_epoch().count());
        }
        keycodes.push_back(borrowed);
    }
    for (const std::uint8_t keycode : free) {
        if (!loans_.contains(keycode))
            keycodes.push_back({keycode, {}, {}});
    }
    return keycodes;
}

void KeycodeLoans::lend(const KeycodeSymbols& symbols, const KeymapWrites& how)
{
    if (symbols.empty())
        return;
    for (const auto& [keycode, keysyms] : symbols) {
        Loan& loan = loans_[keycode];
        for (std::size_t level = 0; level < kBorrowedLevels; ++level) {
            if (loan.keysyms[level] != keysyms[level])
                loan.lastUse[level].reset();
        }
        loan.keysyms = keysyms;
        ledger_.own().lent[keycode] = keysyms;
    }
    // Recorded before the change: a run killed in between leaves a record
    // that the next one finds not to match, and leaves alone.
    ledger_.publish();
    writeKeycodes(connection_, symbols, how);
    connection_.sync();
}

void KeycodeLoans::typedThrough(const Slot& slot, xcb_window_t reader)
{
    loans_.at(slot.keycode).lastUse[slot.level] =
        LevelUse{clock_.credited(), SettleClock::Clock::now(), reader, receipts_.nextQuestion()};
}

bool KeycodeLoans::settled(const std::vector<Slot>& slots) const
{
    return std::ranges::all_of(slots, [&](const Slot& slot) {
        const auto loan = loans_.find(slot.keycode);
        return loan == loans_.end() || settled(loan->second, slot.level);
    });
}

void KeycodeLoans::waitUntilSettled(const std::vector<Slot>& slots, const std::string& stopped)
{
    auto probed = SettleClock::Clock::now();
    while (!settled(slots)) {
        stopIfTerminationRequested(stopped);
        // Answers come within milliseconds: each is taken as it arrives.
        connection_.dispatchEventsWithin(kWaitStep);
        if (SettleClock::Clock::now() - probed >= kWaitStep) {
            clock_.probe();
            probed = SettleClock::Clock::now();
        }
    }
}

bool KeycodeLoans::waitForAnswer(xcb_window_t window, std::uint64_t question, std::chrono::milliseconds timeout)
{
    const auto deadline = SettleClock::Clock::now() + timeout;
    while (!receipts_.answered(window, question)) {
        const auto now = SettleClock::Clock::now();
        if (now >= deadline || terminationRequested())
            return false;
        connection_.dispatchEventsWithin(
            std::min(kWaitStep, std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
    }
    return true;
}

void KeycodeLoans::restore(const std::vector<std::uint8_t>& keycodes)
{
    if (keycodes.empty())
        return;
    // Only what still carries this run's symbols: the layout may have been
    // reloaded since, and then the keycode is not this run's to empty.
    const KeycodeSymbols current = readKeycodes(connection_, keycodes);
    std::vector<std::uint8_t> emptied;
    for (const std::uint8_t keycode : keycodes) {
        const auto found = current.find(keycode);
        if (found != current.end() && found->second == loans_.at(keycode).keysyms)
            emptied.push_back(keycode);
    }
    emptyKeycodes(connection_, emptied);
    for (const std::uint8_t keycode : keycodes) {
        loans_.erase(keycode);
        ledger_.own().lent.erase(keycode);
    }
    ledger_.publish();
    if (loans_.empty())
        receipts_.stopListening();
}

bool KeycodeLoans::restoreSettled()
{
    connection_.dispatchEvents();
    if (loans_.empty())
        return false;
    clock_.poll();
    std::vector<std::uint8_t> done;
    for (const auto& [keycode, loan] : loans_) {
        bool all = true;
        for (std::size_t level = 0; level < kBorrowedLevels; ++level)
            all = all && settled(loan, level);
        if (all)
            done.push_back(keycode);
    }
    restore(done);
    return !loans_.empty();
}

void KeycodeLoans::restoreAll() noexcept
{
    try {
        restore(keycodes());
        connection_.sync();
    } catch (...) {
        // The connection is gone: the server has forgotten the loans with it
        // only if it ended; otherwise the next run repairs them from the ledger.
    }
}

} // namespace qmpvx::x11
