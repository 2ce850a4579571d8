#include "platform/x11/XTestTyping.h"

#include "platform/Termination.h"
#include "platform/TitleMatch.h"
#include "platform/x11/Activation.h"
#include "platform/x11/Keyboard.h"
#include "platform/x11/KeystrokePlan.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <utility>
#include <stdexcept>
#include <thread>

namespace qmpvx::x11 {

namespace {

constexpr auto kHeldKeysTimeout = std::chrono::seconds(2);
// The longest a send waits for the target's word that it has read the keys;
// a target busy for longer reads them later, as one without pings would.
constexpr auto kLongestAnswer = std::chrono::milliseconds(2000);

std::string stoppedAfter(const TypingTarget& target, std::size_t typed, std::size_t total)
{
    return "Typing into " + quotedTitle(target.title) + " stopped after " + std::to_string(typed) + " of " +
           std::to_string(total) + " keys, and nothing further was typed";
}

// Key events on their way to the target; releases whatever is still pressed
// when typing ends, however it ends.
class Injector {
public:
    Injector(XConnection& connection, const TypingTarget& target)
        : connection_(connection), target_(target), startedAt_(connection.serverTime())
    {
    }
    ~Injector() { releaseAll(); }
    Injector(const Injector&) = delete;
    Injector& operator=(const Injector&) = delete;

    // Checks the focus and sends the step with the server grabbed, so that the
    // focus cannot move between the check and the keys: they reach the target
    // or nothing. At the start of a stretch it also makes sure that no other
    // client holds the keyboard, which would take the keys whatever the focus.
    void sendStep(const Step& step, std::size_t typed, std::size_t total, bool startsStretch)
    {
        stopIfTerminationRequested(stoppedAfter(target_, typed, total));
        xcb_grab_server(connection_.get());
        try {
            checkFocus(typed, total);
            if (startsStretch)
                requireKeyboardFree(typed, total);
        } catch (...) {
            xcb_ungrab_server(connection_.get());
            xcb_flush(connection_.get());
            throw;
        }
        for (const KeyEvent& event : step.events)
            send(event);
        xcb_ungrab_server(connection_.get());
    }

    void releaseAll() noexcept
    {
        for (const std::uint8_t keycode : pressed_)
            xcb_test_fake_input(connection_.get(), XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        pressed_.clear();
        xcb_flush(connection_.get());
    }

    // The window that held the focus at the last key.
    xcb_window_t focus() const { return lastFocus_; }

private:
    void send(const KeyEvent& event)
    {
        xcb_test_fake_input(connection_.get(), event.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, event.keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        if (event.press)
            pressed_.insert(event.keycode);
        else
            pressed_.erase(event.keycode);
    }

    void checkFocus(std::size_t typed, std::size_t total)
    {
        Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(connection_.get(), xcb_get_input_focus(connection_.get()), nullptr));
        if (!focus)
            throw NoX11Session("The connection to the X server was lost while typing.");
        if (focus->focus == lastFocus_)
            return;
        if (!holdsFocus(connection_, target_.window)) {
            throw std::runtime_error("Typing stopped: the window " + quotedTitle(target_.title) + " lost the focus after " +
                                     std::to_string(typed) + " of " + std::to_string(total) +
                                     " keys. Nothing further was typed.");
        }
        lastFocus_ = focus->focus;
    }

    void requireKeyboardFree(std::size_t typed, std::size_t total)
    {
        if (!keyboardGrabbedByOther(connection_, startedAt_))
            return;
        const std::string where = "Another program holds the keyboard (an open menu, a dialog or a screen locker), "
                                  "so keys would not reach the window " + quotedTitle(target_.title);
        if (typed == 0)
            throw std::runtime_error(where + ". Close it and try again. Nothing was typed.");
        throw std::runtime_error(where + ": typing stopped after " + std::to_string(typed) + " of " +
                                 std::to_string(total) + " keys. Close it and try again.");
    }

    XConnection& connection_;
    const TypingTarget& target_;
    std::set<std::uint8_t> pressed_;
    xcb_window_t lastFocus_ = XCB_NONE;
    xcb_timestamp_t startedAt_;
};

// The keys typing may press, and whether it switches Caps Lock off, are in
// the ledger from before the first key until after the last release.
class PressRecord {
public:
    PressRecord(LoanLedger& ledger, std::vector<std::uint8_t> keycodes, bool capsLockOff) : ledger_(ledger)
    {
        ledger.own().pressed = std::move(keycodes);
        ledger.own().capsLockOff = capsLockOff;
        ledger.publish();
    }
    ~PressRecord()
    {
        ledger_.own().pressed.clear();
        ledger_.own().capsLockOff = false;
        try {
            ledger_.publish();
        } catch (...) {
            // The connection is gone; the next run finds a dead run's entry.
        }
    }
    PressRecord(const PressRecord&) = delete;
    PressRecord& operator=(const PressRecord&) = delete;

private:
    LoanLedger& ledger_;
};

// Caps Lock off for the typing, back as it was afterwards.
class CapsLockOff {
public:
    CapsLockOff(Keyboard& keyboard, bool wasOn) : keyboard_(keyboard), wasOn_(wasOn)
    {
        if (wasOn_)
            keyboard_.setCapsLock(false);
    }
    ~CapsLockOff()
    {
        if (wasOn_) {
            try {
                keyboard_.setCapsLock(true);
            } catch (...) {
                // The connection is gone; nothing more can be done through it.
            }
        }
    }
    CapsLockOff(const CapsLockOff&) = delete;
    CapsLockOff& operator=(const CapsLockOff&) = delete;

private:
    Keyboard& keyboard_;
    bool wasOn_;
};

} // namespace

TypingReport typeWithXTest(XConnection& connection, LoanLedger& ledger, KeycodeLoans& loans,
                           const std::vector<keys::KeyAction>& actions, const TypingTarget& target, bool wait)
{
    Keyboard keyboard(connection);
    // Keycodes lent by anyone carry borrowed symbols, not the layout's.
    std::vector<std::uint8_t> ignored = ledger.lentByOthers();
    for (const std::uint8_t own : loans.keycodes())
        ignored.push_back(own);
    const KeymapIndex layout(keyboard.keymap(), keyboard.activeGroup(), ignored);
    const std::vector<std::uint8_t> free = keycodesWithoutEffects(connection, layout.spareKeycodes());
    const KeymapWrites writes = free.empty() ? KeymapWrites{} : keymapWrites(connection, free.front());
    const KeystrokePlan plan = planKeystrokes(actions, layout, loans.borrowable(free), writes.levels());
    keyboard.waitUntilReleased(kHeldKeysTimeout);

    const bool capsLock = keyboard.capsLockOn();
    const PressRecord record(ledger, plan.keycodes(), capsLock);
    const CapsLockOff capsLockOff(keyboard, capsLock);
    PingReceipts& receipts = loans.receipts();
    const bool answersPings = receipts.listsPing(target.window);
    Injector injector(connection, target);
    std::size_t typed = 0;
    TypingReport report;
    for (const Segment& segment : plan.segments) {
        // A symbol is replaced only once the keys typed through it have been read.
        if (!loans.settled(segment.replaced)) {
            ++report.waits;
            loans.waitUntilSettled(segment.replaced, stoppedAfter(target, typed, plan.taps));
        }
        loans.lend(segment.lend, writes);
        bool first = true;
        for (const Step& step : segment.steps) {
            injector.sendStep(step, typed, plan.taps, std::exchange(first, false));
            if (step.borrowed) {
                const bool vouched = answersPings && receipts.sameClient(injector.focus(), target.window);
                loans.typedThrough(*step.borrowed, vouched ? target.window : XCB_NONE);
            }
            typed += step.isTap ? 1 : 0;
        }
        // The target's word on this stretch, before the next one may replace its symbols.
        if (answersPings && &segment != &plan.segments.back())
            receipts.ask(target.window);
    }
    injector.releaseAll();
    // Asked once all is typed: the keyboard goes back once it is answered.
    const std::optional<std::uint64_t> lastQuestion =
        answersPings ? std::optional(receipts.ask(target.window)) : std::nullopt;
    connection.sync();
    if (wait && !(lastQuestion && loans.waitForAnswer(target.window, *lastQuestion, kLongestAnswer)))
        std::this_thread::sleep_for(kSettleTime);
    if (loans.empty())
        receipts.stopListening();
    return report;
}

} // namespace qmpvx::x11
