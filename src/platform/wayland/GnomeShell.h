#pragma once

#include "platform/wayland/GnomeShellKeys.h"
#include "platform/wayland/SessionBus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sd_bus_message;

namespace qmpvx::wayland {

// The GNOME Shell extension's UUID, as the user enables it.
inline constexpr const char* kGnomeExtension = "qm-pvx@qm-pvx.github.io";

// A window as the extension lists it.
struct GnomeWindow {
    std::uint64_t id = 0;
    std::string title;
    std::string wmClass; // the app id of a Wayland window
    std::uint32_t pid = 0;
};

// How a send the extension typed ended.
struct GnomeTyped {
    std::size_t taps = 0;
    // "" all typed; "lost" the window lost the focus; "closed"; "cancelled".
    std::string outcome;
};

// The program's extension inside GNOME Shell, over the session bus. Each
// call throws std::runtime_error with what the user can do: the extension
// missing, disabled or too old, refusing this copy of the program, or GNOME
// Shell not answering.
class GnomeShell {
public:
    GnomeShell();

    // Whether GNOME Shell holds its name on the session bus.
    static bool onSessionBus() noexcept;

    // Top-level windows, topmost first.
    std::vector<GnomeWindow> windows();
    GnomeLayout layout();
    // Returns once the window has the keyboard focus; throws the reason
    // (after `title`) otherwise.
    void activate(std::uint64_t id, const std::string& title);
    // Types the plan; a termination request cancels the rest.
    GnomeTyped type(std::uint64_t id, const GnomeLayout& layout, const GnomeTypingPlan& plan);

private:
    struct MessageDeleter {
        void operator()(sd_bus_message* message) const noexcept;
    };
    using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

    Message newCall(const char* member);
    // Sends the call and waits for its answer, dispatching the bus; while
    // waiting, `waiting` runs every few milliseconds.
    Message call(Message request, std::uint64_t timeoutMicroseconds, const std::function<void()>& waiting = {});
    [[noreturn]] void refused(const char* errorName, const char* message);
    [[noreturn]] void extensionMissing();

    SessionBus bus_;
};

} // namespace qmpvx::wayland
