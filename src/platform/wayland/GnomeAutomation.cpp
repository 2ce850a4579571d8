#include "platform/wayland/GnomeAutomation.h"

#include "platform/ShellObjects.h"
#include "platform/Termination.h"
#include "platform/TitleMatch.h"
#include "platform/wayland/TargetCheck.h"
#include "platform/wayland/WaylandAutomation.h"

#include <unistd.h>

#include <stdexcept>

namespace qmpvx::wayland {

GnomeAutomation::GnomeAutomation() : ownAppId_(ownAppId()) {}

GnomeShell& GnomeAutomation::shell()
{
    // Made again after a failure: the extension may have been enabled since.
    if (!shell_)
        shell_ = std::make_unique<GnomeShell>();
    return *shell_;
}

void GnomeAutomation::AppActivate(std::string_view title)
{
    target_.reset();
    requireTitle(title);
    try {
        GnomeShell& s = shell();
        std::vector<TitledWindow> candidates;
        for (const GnomeWindow& window : s.windows()) {
            if (window.pid != static_cast<std::uint32_t>(getpid()) && window.wmClass != ownAppId_)
                candidates.push_back({window.id, window.title});
        }
        const std::optional<std::size_t> found = findByTitle(candidates, title);
        if (!found)
            throw noSuchWindow(title);
        const TitledWindow& window = candidates[*found];
        s.activate(window.id, window.title);
        target_ = TypingTarget{window.id, window.title};
    } catch (...) {
        shell_.reset();
        throw;
    }
}

std::unique_ptr<ShellObject> GnomeAutomation::CreateObject(std::string_view className)
{
    return createShellObject(className, [this](std::string_view keys, bool) { type(keys); });
}

void GnomeAutomation::type(std::string_view keys)
{
    const std::vector<keys::KeyAction> actions =
        keysToType(keys, target_ ? std::optional<std::string>(target_->title) : std::nullopt);
    try {
        GnomeShell& s = shell();
        const GnomeLayout layout = s.layout();
        const x11::XkbKeymap keymap = compileGnomeLayout(layout);
        GnomeTypingPlan plan;
        try {
            plan = planGnomeTyping(actions, keymap.get());
        } catch (const std::runtime_error& error) {
            throw std::runtime_error("Nothing was typed into " + quotedTitle(target_->title) + ": " + error.what());
        }
        const GnomeTyped typed = s.type(target_->id, layout, plan);
        const std::string& title = target_->title;
        if (typed.outcome == "cancelled")
            throw TerminationRequested(terminationRequested(), stoppedAfter(title, typed.taps, plan.taps));
        if (typed.outcome == "lost" || typed.outcome == "closed")
            requireActive(typed.outcome == "lost" ? TargetState::Inactive : TargetState::Closed, title, typed.taps,
                          plan.taps);
        else if (!typed.outcome.empty())
            throw std::runtime_error("Typing into " + quotedTitle(title) + " stopped after " +
                                     std::to_string(typed.taps) + " of " + std::to_string(plan.taps) +
                                     " keys: " + (typed.outcome == "disabled" ? "the GNOME Shell extension "
                                                  "was turned off." : "GNOME Shell ended it (" + typed.outcome + ")."));
    } catch (const TerminationRequested&) {
        throw;
    } catch (...) {
        shell_.reset();
        throw;
    }
}

} // namespace qmpvx::wayland
