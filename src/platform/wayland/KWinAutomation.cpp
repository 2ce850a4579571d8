#include "platform/wayland/KWinAutomation.h"

#include "platform/ShellObjects.h"
#include "platform/Termination.h"
#include "platform/TitleMatch.h"
#include "platform/wayland/FakeInputKeyboard.h"
#include "platform/wayland/FakeInputKeys.h"
#include "platform/wayland/TargetCheck.h"
#include "platform/wayland/WaylandAutomation.h"

#include <unistd.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>

namespace qmpvx::wayland {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kActivationTimeout = std::chrono::seconds(2);
constexpr auto kActivationPoll = std::chrono::milliseconds(5);
// Between two keys, counted from the start of the check before the first.
// KWin itself takes keys as fast as the check before each allows (about
// 0.5 ms); the pause leaves a slow target time to read them. A target that
// reads nothing at all is dropped by KWin after some 300 keys at any pace.
constexpr auto kKeyInterval = std::chrono::microseconds(1000);
// After KWin has taken the last key, the time the target gets before SendKeys returns.
constexpr auto kSettleTime = std::chrono::milliseconds(50);

std::string ownExecutable()
{
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("this program") : path.string();
}

// The user's layout as KWin has it: the seat keyboard's keymap, else what
// xkbcommon compiles by default, as KWin does without a configuration.
x11::XkbKeymap kwinLayout(const WaylandDisplay& display)
{
    if (display.seatKeymap())
        return x11::XkbKeymap(xkb_keymap_ref(display.seatKeymap()));
    const x11::XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    x11::XkbKeymap keymap(xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw std::runtime_error("The keyboard layout could not be compiled (is xkb-data installed?). "
                                 "Nothing was typed.");
    return keymap;
}

} // namespace

KWinAutomation::KWinAutomation(std::unique_ptr<WaylandDisplay> display)
    : display_(std::move(display)), ownAppId_(ownAppId())
{
}

KWinAutomation::~KWinAutomation() = default;

WaylandDisplay& KWinAutomation::display()
{
    if (!display_ || display_->broken() || !display_->fakeInput())
        display_ = std::make_unique<WaylandDisplay>();
    return *display_;
}

KWinScripting& KWinAutomation::scripting()
{
    if (!scripting_)
        scripting_ = std::make_unique<KWinScripting>();
    return *scripting_;
}

void KWinAutomation::requireFakeInput()
{
    const WaylandDisplay& d = display();
    if (d.fakeInput())
        return;
    if (d.fakeInputWithoutKeys())
        throw std::runtime_error("This version of KWin cannot take keys from other programs (its fake input has "
                                 "no keyboard); Plasma 5.27 or later can. Nothing was typed.");
    const std::string executable = ownExecutable();
    throw std::runtime_error(
        "KWin does not let this program type: it takes keys only from programs whose desktop entry asks for "
        "them. Install the qm-pvx package, whose desktop entry does that for /usr/bin/qm-pvx; for a copy "
        "elsewhere, put a desktop entry with the lines Exec=" + executable +
        " and X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input into ~/.local/share/applications, then try "
        "again. Nothing was typed.");
}

void KWinAutomation::AppActivate(std::string_view title)
{
    target_.reset();
    if (scripting_)
        scripting_->stopWatching();
    requireTitle(title);
    // Before anything moves on the screen: a window that cannot be typed into is not activated.
    requireFakeInput();
    KWinScripting& s = scripting();
    std::vector<TitledWindow> candidates;
    std::vector<std::string> ids;
    for (const KWinWindow& window : s.windows()) {
        if (window.pid == getpid() || window.resourceClass == ownAppId_)
            continue;
        candidates.push_back({ids.size(), window.caption});
        ids.push_back(window.id);
    }
    const std::optional<std::size_t> found = findByTitle(candidates, title);
    if (!found)
        throw noSuchWindow(title);
    const std::string id = ids[*found];
    const std::string shownTitle = candidates[*found].title;
    s.watch(id, true);
    const Clock::time_point deadline = Clock::now() + kActivationTimeout;
    for (;;) {
        if (s.watchedClosed())
            throw notBroughtForward(shownTitle, "the window closed.");
        if (s.activeWindow() == id)
            break;
        stopIfTerminationRequested("Activating " + quotedTitle(shownTitle) + " stopped, and nothing was typed");
        if (Clock::now() >= deadline) {
            s.stopWatching();
            throw notBroughtForward(shownTitle, "KWin did not activate it within 2 s.");
        }
        s.dispatchWithin(kActivationPoll);
    }
    target_ = Target{id, shownTitle};
}

std::unique_ptr<ShellObject> KWinAutomation::CreateObject(std::string_view className)
{
    return createShellObject(className, [this](std::string_view keys, bool wait) { type(keys, wait); });
}

void KWinAutomation::type(std::string_view keys, bool wait)
{
    try {
        typePlanned(keys);
    } catch (...) {
        // No script of this program stays in KWin after a send.
        if (scripting_)
            scripting_->stopWatching();
        throw;
    }
    scripting_->stopWatching();
    if (wait)
        std::this_thread::sleep_for(kSettleTime);
}

void KWinAutomation::typePlanned(std::string_view keys)
{
    const std::vector<keys::KeyAction> actions =
        keysToType(keys, target_ ? std::optional<std::string>(target_->title) : std::nullopt);
    requireFakeInput();
    WaylandDisplay& d = display();
    KWinScripting& s = scripting();
    const x11::XkbKeymap layout = kwinLayout(d);
    const xkb_layout_index_t group = std::min(s.currentLayout(), xkb_keymap_num_layouts(layout.get()) - 1);
    FakeInputPlan plan;
    try {
        plan = planFakeInput(actions, layout.get(), group);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error("Nothing was typed into " + quotedTitle(target_->title) + ": " + error.what());
    }
    const std::string& title = target_->title;
    // A send after the one AppActivate watched: the target must still be active.
    if (!s.watching())
        s.watch(target_->id, false);

    std::size_t typed = 0;
    const auto counted = [&] { return std::to_string(typed) + " of " + std::to_string(plan.taps) + " keys"; };
    const auto checkTarget = [&] {
        const bool reporting = s.sync();
        stopIfTerminationRequested(stoppedAfter(title, typed, plan.taps));
        if (d.broken())
            throw std::runtime_error("The connection to the Wayland compositor was lost after " + counted() + ".");
        if (!reporting)
            throw std::runtime_error("Typing stopped: KWin no longer reports which window is active, after " +
                                     counted() + ". Nothing further was typed.");
        requireActive(s.watchedClosed()                    ? TargetState::Closed
                      : s.activeWindow() == target_->id ? TargetState::Active
                                                        : TargetState::Inactive,
                      title, typed, plan.taps);
    };

    std::set<std::uint32_t> mayPress;
    for (const FakeInputStep& step : plan.steps)
        for (const FakeKeyEvent& event : step.events)
            mayPress.insert(event.evdevCode);
    FakeInputKeyboard keyboard(d, {mayPress.begin(), mayPress.end()});
    Clock::time_point next = Clock::now();
    for (const FakeInputStep& step : plan.steps) {
        // The check right before the key: only a key sent right after KWin's
        // answer reaches the window that was verified.
        std::this_thread::sleep_until(next);
        next = Clock::now() + kKeyInterval;
        checkTarget();
        for (const FakeKeyEvent& event : step.events)
            keyboard.key(event.evdevCode, event.press);
        if (step.isTap)
            ++typed;
    }
    keyboard.releaseAll();
    d.roundTrip();
}

} // namespace qmpvx::wayland
