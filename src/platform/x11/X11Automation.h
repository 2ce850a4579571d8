#pragma once

#include "platform/Automation.h"
#include "platform/Scheduler.h"
#include "platform/Termination.h"
#include "platform/x11/KeycodeLoans.h"
#include "platform/x11/LoanLedger.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XTestTyping.h"

#include <memory>
#include <optional>

namespace qmpvx::x11 {

// Activation by title and typing on the program's own X connection, opened
// at the first use so that the program starts even where X11 cannot be
// reached; the error then comes with the first send. Borrowed keycodes are
// given back from the scheduler once the target must have read them, and
// at once when this object goes or the program is asked to end.
class X11Automation final : public Automation {
public:
    // Without a scheduler, loans stay out until settleLoans() or the end.
    explicit X11Automation(Scheduler* scheduler = nullptr);
    ~X11Automation() override;

    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

    // Types into the window activated last.
    void type(std::string_view keys, bool wait);

    // Whether a window titled exactly `title` comes to hold the keyboard
    // focus within `timeout`, as one that another party activates does
    // (a Wayland compositor, for a window of its XWayland); false at once
    // when no such window is open.
    bool focusComesTo(std::string_view title, std::chrono::milliseconds timeout);

    // Undoes what a run killed earlier left on this display's keyboard.
    // Does nothing where X11 cannot be reached.
    void repairKeyboard() noexcept;

    // Blocks until every borrowed keycode has settled and gives it back.
    void settleLoans();

    // What the last typing did (for the benchmarks).
    const TypingReport& lastReport() const { return report_; }

private:
    // One connection and what this run has recorded and lent through it.
    struct Session {
        XConnection connection;
        LoanLedger ledger{connection};
        KeycodeLoans loans{connection, ledger};
    };

    Session& session();
    void scheduleRestore();
    void restoreSettled();

    Scheduler* scheduler_;
    std::unique_ptr<Session> session_;
    std::optional<TypingTarget> target_;
    bool restoreScheduled_ = false;
    TypingReport report_;
    TerminationCleanup cleanup_;
};

} // namespace qmpvx::x11
