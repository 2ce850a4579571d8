#include "platform/x11/XTestTyping.h"

#include "platform/x11/Activation.h"
#include "platform/x11/Keyboard.h"
#include "platform/x11/KeystrokePlan.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <thread>

namespace qmpvx::x11 {

namespace {

constexpr auto kHeldKeysTimeout = std::chrono::seconds(2);

// Key events on their way to the target; releases whatever is still pressed
// when typing ends, however it ends.
class Injector {
public:
    Injector(XConnection& connection, const TypingTarget& target) : connection_(connection), target_(target) {}
    ~Injector() { releaseAll(); }
    Injector(const Injector&) = delete;
    Injector& operator=(const Injector&) = delete;

    void send(const KeyEvent& event)
    {
        xcb_test_fake_input(connection_.get(), event.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, event.keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        if (event.press)
            pressed_.insert(event.keycode);
        else
            pressed_.erase(event.keycode);
    }

    // Checks the focus and sends the step with the server grabbed, so that the
    // focus cannot move between the check and the keys: they reach the target
    // or nothing.
    void sendStep(const Step& step, std::size_t typed, std::size_t total)
    {
        xcb_grab_server(connection_.get());
        try {
            checkFocus(typed, total);
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

private:
    void checkFocus(std::size_t typed, std::size_t total)
    {
        Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(connection_.get(), xcb_get_input_focus(connection_.get()), nullptr));
        if (!focus)
            throw NoX11Session("The connection to the X server was lost while typing.");
        if (focus->focus == lastFocus_)
            return;
        if (!holdsFocus(connection_, target_.window)) {
            throw std::runtime_error("Typing stopped: the window \"" + target_.title + "\" lost the focus after " +
                                     std::to_string(typed) + " of " + std::to_string(total) +
                                     " keys. Nothing further was typed.");
        }
        lastFocus_ = focus->focus;
    }

private:
    XConnection& connection_;
    const TypingTarget& target_;
    std::set<std::uint8_t> pressed_;
    xcb_window_t lastFocus_ = XCB_NONE;
};

// Caps Lock off for the typing, back as it was afterwards.
class CapsLockOff {
public:
    explicit CapsLockOff(Keyboard& keyboard) : keyboard_(keyboard), wasOn_(keyboard.capsLockOn())
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

std::chrono::milliseconds loanSettleTime(std::size_t keys)
{
    const auto perKeys = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(500) * keys);
    return std::min(std::chrono::milliseconds(100) + perKeys, std::chrono::milliseconds(2500));
}

void typeWithXTest(XConnection& connection, const std::vector<keys::KeyAction>& actions,
                   const TypingTarget& target, bool wait)
{
    Keyboard keyboard(connection);
    const KeystrokePlan plan = planKeystrokes(actions, keyboard.keymap(), keyboard.activeGroup());
    keyboard.waitUntilReleased(kHeldKeysTimeout);

    KeycodeLoan loan(connection);
    CapsLockOff capsLock(keyboard);
    Injector injector(connection, target);
    std::size_t typed = 0;
    std::size_t settledAt = 0;
    const auto settleLoans = [&] {
        connection.sync();
        std::this_thread::sleep_for(loanSettleTime(typed - settledAt));
        settledAt = typed;
    };

    const bool borrows = std::any_of(plan.segments.begin(), plan.segments.end(),
                                     [](const Segment& segment) { return !segment.loans.empty(); });
    try {
        for (const Segment& segment : plan.segments) {
            if (!segment.loans.empty()) {
                // Keys typed through the previous loans must be read before remapping.
                if (typed > 0)
                    settleLoans();
                loan.map(segment.loans);
            }
            for (const Step& step : segment.steps) {
                injector.sendStep(step, typed, plan.taps);
                typed += step.isTap ? 1 : 0;
            }
        }
        injector.releaseAll();
        connection.sync();
        // Borrowed keycodes are given back only once the target has read them.
        if (borrows)
            settleLoans();
        else if (wait)
            std::this_thread::sleep_for(kSettleTime);
    } catch (...) {
        injector.releaseAll();
        try {
            if (borrows)
                settleLoans();
        } catch (...) {
            // The connection is gone: the original error says more.
        }
        throw;
    }
}

} // namespace qmpvx::x11
