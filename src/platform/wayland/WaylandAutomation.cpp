#include "platform/wayland/WaylandAutomation.h"

#include "platform/ShellObjects.h"
#include "platform/Termination.h"
#include "platform/TitleMatch.h"
#include "platform/wayland/TargetCheck.h"
#include "platform/wayland/ToplevelSearch.h"
#include "platform/wayland/VirtualKeyboard.h"
#include "platform/wayland/VirtualKeymap.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace qmpvx::wayland {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kActivationTimeout = std::chrono::seconds(2);
constexpr auto kActivationPoll = std::chrono::milliseconds(2);
// Faster than about 1.3 ms a key, sway drops the target for flooding it.
constexpr auto kKeyInterval = std::chrono::microseconds(1500);
// A seat that had no keyboard before loses the first key that follows at once.
constexpr auto kFreshKeyboardSettle = std::chrono::milliseconds(30);
// An X11 client under XWayland reads a new keymap lazily, when it gets to
// the notification of it; the keys before must have been read first.
constexpr auto kKeymapSwitchPause = std::chrono::milliseconds(60);
constexpr auto kXWaylandFocusTimeout = std::chrono::milliseconds(500);
// After the compositor has passed on the last key, the time the target gets
// before SendKeys returns.
constexpr auto kSettleTime = std::chrono::milliseconds(50);

std::size_t tapsIn(const std::vector<KeymapSegment>& segments)
{
    std::size_t taps = 0;
    for (const KeymapSegment& segment : segments) {
        for (const VirtualStep& step : segment.steps)
            taps += step.isTap ? 1 : 0;
    }
    return taps;
}

// The user's layout: the seat keyboard's keymap when it is one (not the
// keymap of a virtual keyboard that typed last), else the one xkbcommon's
// defaults and XKB_DEFAULT_* name, as the compositor would compile it.
x11::XkbKeymap userLayout(const WaylandDisplay& display)
{
    if (display.seatKeymap() && isKeyboardLayout(display.seatKeymap()))
        return x11::XkbKeymap(xkb_keymap_ref(display.seatKeymap()));
    const x11::XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    x11::XkbKeymap keymap(xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw std::runtime_error("The keyboard layout could not be compiled (is xkb-data installed?). "
                                 "Nothing was typed.");
    return keymap;
}

// Whether an XWayland server of this user runs. Connecting to a compositor's
// X11 display starts its XWayland when it starts one only on demand, which
// a send into a Wayland window must not do.
bool xwaylandRunning()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        struct stat owner {};
        if (std::getline(comm, name) && name == "Xwayland" && stat(entry.path().c_str(), &owner) == 0 &&
            owner.st_uid == getuid())
            return true;
    }
    return false;
}

} // namespace

std::string ownAppId()
{
    std::error_code error;
    const std::string name = std::filesystem::read_symlink("/proc/self/exe", error).filename().string();
    return name.substr(0, name.find('.'));
}

WaylandAutomation::WaylandAutomation(std::unique_ptr<WaylandDisplay> display, Scheduler* scheduler)
    : display_(std::move(display)), ownAppId_(ownAppId()), xwayland_(scheduler)
{
    xwayland_.repairKeyboard();
}

WaylandDisplay& WaylandAutomation::display()
{
    // The connection is not read between sends; a compositor may have
    // dropped it for events left unread.
    if (!display_ || display_->broken())
        display_ = std::make_unique<WaylandDisplay>();
    return *display_;
}

void WaylandAutomation::AppActivate(std::string_view title)
{
    target_.reset();
    throughXWayland_ = false;
    requireTitle(title);
    WaylandDisplay& d = display();
    d.roundTrip();
    const std::vector<TitledWindow> candidates = searchOrder(d.toplevels(), ownAppId_);
    const std::optional<std::size_t> found = findByTitle(candidates, title);
    if (!found)
        throw noSuchWindow(title);
    const std::uint64_t id = candidates[*found].id;
    const std::string shownTitle = candidates[*found].title;
    const auto active = [&] {
        const Toplevel* toplevel = d.find(id);
        return toplevel && toplevel->activated && !d.otherActivated(id);
    };
    if (!active())
        d.activate(*d.find(id));
    const Clock::time_point deadline = Clock::now() + kActivationTimeout;
    for (;;) {
        d.roundTrip();
        if (!d.find(id))
            throw notBroughtForward(shownTitle, "the window closed.");
        if (active())
            break;
        stopIfTerminationRequested("Activating " + quotedTitle(shownTitle) + " stopped, and nothing was typed");
        if (Clock::now() >= deadline)
            throw notBroughtForward(shownTitle, "the compositor did not activate it within 2 s.");
        std::this_thread::sleep_for(kActivationPoll);
    }
    target_ = TypingTarget{id, shownTitle};
    // The compositor gives an XWayland window the X11 focus just after it
    // reports it activated; a native window with that title never gets it.
    try {
        if (xwaylandRunning() && xwayland_.focusComesTo(shownTitle, kXWaylandFocusTimeout)) {
            xwayland_.AppActivate(shownTitle);
            throughXWayland_ = true;
        }
    } catch (const x11::NoX11Session&) {
        // No XWayland here: every window is a Wayland one.
    }
}

std::unique_ptr<ShellObject> WaylandAutomation::CreateObject(std::string_view className)
{
    return createShellObject(className, [this](std::string_view keys, bool wait) { type(keys, wait); });
}

void WaylandAutomation::type(std::string_view keys, bool wait)
{
    if (throughXWayland_) {
        xwayland_.type(keys, wait);
        return;
    }
    const std::vector<keys::KeyAction> actions =
        keysToType(keys, target_ ? std::optional<std::string>(target_->title) : std::nullopt);
    WaylandDisplay& d = display();
    const x11::XkbKeymap layout = userLayout(d);
    std::vector<KeymapSegment> segments;
    try {
        segments = planVirtualTyping(actions, layout.get());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error("Nothing was typed into " + quotedTitle(target_->title) + ": " + error.what());
    }
    const std::size_t total = tapsIn(segments);
    std::size_t typed = 0;
    const auto checkTarget = [&] {
        d.roundTrip();
        stopIfTerminationRequested(stoppedAfter(target_->title, typed, total));
        const Toplevel* toplevel = d.find(target_->id);
        requireActive(!toplevel                                                     ? TargetState::Closed
                      : !toplevel->activated || d.otherActivated(target_->id) ? TargetState::Inactive
                                                                                  : TargetState::Active,
                      target_->title, typed, total);
    };

    checkTarget();
    VirtualKeyboard keyboard(d);
    for (std::size_t s = 0; s < segments.size(); ++s) {
        if (s > 0) {
            d.roundTrip();
            std::this_thread::sleep_for(kKeymapSwitchPause);
        }
        keyboard.useKeymap(segments[s].keymap);
        if (s == 0) {
            d.roundTrip();
            std::this_thread::sleep_for(kFreshKeyboardSettle);
        }
        Clock::time_point next = Clock::now();
        for (const VirtualStep& step : segments[s].steps) {
            if (!step.isTap) {
                keyboard.setModifiers(step.tap.modifiers);
                continue;
            }
            // A round trip right before every key, after the pause: the focus
            // can move at any moment, and only a key sent right after the
            // answer reaches the window that was verified. The round trip
            // counts towards the pace: a compositor busy drawing answers slower.
            std::this_thread::sleep_until(next);
            next = Clock::now() + kKeyInterval;
            checkTarget();
            keyboard.setModifiers(step.tap.modifiers);
            keyboard.tap(step.tap.keycode);
            ++typed;
        }
    }
    keyboard.releaseAll();
    d.roundTrip();
    if (wait)
        std::this_thread::sleep_for(kSettleTime);
}

} // namespace qmpvx::wayland
