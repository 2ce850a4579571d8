#include "platform/x11/X11Automation.h"

#include "platform/ShellObjects.h"
#include "platform/TitleMatch.h"
#include "platform/x11/Activation.h"
#include "platform/x11/WindowSearch.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace qmpvx::x11 {

namespace {

constexpr auto kRestoreTick = std::chrono::milliseconds(25);
// Another copy's longest text, borrowed keycodes reused between its segments.
constexpr auto kOtherCopyTyping = std::chrono::seconds(60);

// Lets go of the keyboard hold of AppActivate however the typing ends.
class KeyboardHold {
public:
    explicit KeyboardHold(LoanLedger& ledger) : ledger_(ledger) {}
    ~KeyboardHold()
    {
        try {
            ledger_.releaseKeyboard();
        } catch (...) {
            // The connection is gone, and with it the hold.
        }
    }
    KeyboardHold(const KeyboardHold&) = delete;
    KeyboardHold& operator=(const KeyboardHold&) = delete;

private:
    LoanLedger& ledger_;
};

} // namespace

X11Automation::X11Automation(Scheduler* scheduler)
    : scheduler_(scheduler), cleanup_([this] {
          if (session_)
              session_->loans.restoreAll();
      })
{
}

X11Automation::~X11Automation() = default;

X11Automation::Session& X11Automation::session()
{
    if (!session_ || xcb_connection_has_error(session_->connection.get())) {
        session_.reset();
        session_ = std::make_unique<Session>();
    }
    return *session_;
}

void X11Automation::AppActivate(std::string_view title)
{
    target_.reset();
    Session& s = session();
    // Waits for another copy typing now, and repairs what a dead one left.
    // The hold lasts until the keys have been typed.
    s.ledger.holdKeyboard(kOtherCopyTyping);
    try {
        target_ = TypingTarget{activateByTitle(s.connection, title), std::string(title)};
    } catch (...) {
        const KeyboardHold release(s.ledger);
        throw;
    }
}

std::unique_ptr<ShellObject> X11Automation::CreateObject(std::string_view className)
{
    return createShellObject(className, [this](std::string_view keys, bool wait) { type(keys, wait); });
}

void X11Automation::type(std::string_view keys, bool wait)
{
    Session& s = session();
    const KeyboardHold hold(s.ledger);
    const std::vector<keys::KeyAction> actions =
        keysToType(keys, target_ ? std::optional<std::string>(target_->title) : std::nullopt);
    if (!s.ledger.own().typing)
        s.ledger.holdKeyboard(kOtherCopyTyping);
    if (!holdsFocus(s.connection, target_->window))
        throw std::runtime_error("The window " + quotedTitle(target_->title) +
                                 " no longer has the focus. Nothing was typed.");
    try {
        report_ = typeWithXTest(s.connection, s.ledger, s.loans, actions, *target_, wait);
    } catch (...) {
        scheduleRestore();
        throw;
    }
    scheduleRestore();
}

bool X11Automation::focusComesTo(std::string_view title, std::chrono::milliseconds timeout)
{
    XConnection& connection = session().connection;
    std::vector<xcb_window_t> titled;
    for (const TitledWindow& window : topLevelWindows(connection)) {
        if (window.title == title)
            titled.push_back(static_cast<xcb_window_t>(window.id));
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!titled.empty()) {
        if (std::ranges::any_of(titled, [&](xcb_window_t window) { return holdsFocus(connection, window); }))
            return true;
        stopIfTerminationRequested("Activating " + quotedTitle(title) + " stopped, and nothing was typed");
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void X11Automation::repairKeyboard() noexcept
{
    try {
        session().ledger.repairAbandoned();
    } catch (...) {
        // No X11 here, or it went away: nothing to repair through it.
    }
}

void X11Automation::settleLoans()
{
    if (!session_)
        return;
    while (session_->loans.restoreSettled())
        std::this_thread::sleep_for(kRestoreTick);
}

void X11Automation::scheduleRestore()
{
    if (!scheduler_ || restoreScheduled_ || !session_ || session_->loans.empty())
        return;
    restoreScheduled_ = true;
    scheduler_->runLater(kRestoreTick, [this] { restoreSettled(); });
}

void X11Automation::restoreSettled()
{
    restoreScheduled_ = false;
    if (!session_)
        return;
    if (session_->loans.restoreSettled())
        scheduleRestore();
}

} // namespace qmpvx::x11
