#pragma once

#include "platform/x11/KeymapIndex.h"

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_keyboard;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct zwp_virtual_keyboard_manager_v1;
struct org_kde_kwin_fake_input;

namespace qmpvx::wayland {

// A window as the compositor lists it: its title and app id as of its last
// `done`, its activation as of the last state event.
struct Toplevel {
    std::uint64_t id = 0; // this program's number for it, never reused
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    std::string title;
    std::string appId;
    bool activated = false;
    bool closed = false;
    // Until the next `done`.
    std::string pendingTitle;
    std::string pendingAppId;
};

// The program's own connection to the compositor, with the globals it types
// and activates through and the compositor's list of toplevels, kept up to
// date by every dispatch.
class WaylandDisplay {
public:
    // Throws std::runtime_error when no compositor can be reached.
    WaylandDisplay();
    ~WaylandDisplay();
    WaylandDisplay(const WaylandDisplay&) = delete;
    WaylandDisplay& operator=(const WaylandDisplay&) = delete;

    // Both protocols this backend needs: wlroots' toplevel list and virtual keyboards.
    bool canTypeIntoWindows() const { return toplevelManager_ && virtualKeyboards_ && seat_; }
    // KWin's fake input, with keys (version 4), authenticated; KWin offers
    // it only to programs whose desktop entry asks for it.
    org_kde_kwin_fake_input* fakeInput() const { return fakeInput_; }
    // KWin offers it in a version without keys.
    bool fakeInputWithoutKeys() const { return fakeInputWithoutKeys_; }

    // Sends what is queued and handles every event up to the compositor's
    // answer; throws when the connection is lost.
    void roundTrip();
    bool broken() const;

    // Every toplevel the compositor announced, oldest first, closed ones too.
    const std::list<Toplevel>& toplevels() const { return toplevels_; }
    const Toplevel* find(std::uint64_t id) const;
    // Another toplevel than `id` is activated.
    bool otherActivated(std::uint64_t id) const;
    void activate(const Toplevel& toplevel);

    // The keymap the seat's keyboard had when the connection was made, if it
    // had a keyboard; else nothing.
    xkb_keymap* seatKeymap() const { return seatKeymap_.get(); }

    wl_display* get() const { return display_; }
    wl_seat* seat() const { return seat_; }
    zwp_virtual_keyboard_manager_v1* virtualKeyboards() const { return virtualKeyboards_; }

    // For the listeners, which are plain functions.
    struct Listeners;

private:
    void keymapReceived(std::uint32_t format, int fd, std::uint32_t size);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    std::uint32_t seatCapabilities_ = 0;
    zwlr_foreign_toplevel_manager_v1* toplevelManager_ = nullptr;
    zwp_virtual_keyboard_manager_v1* virtualKeyboards_ = nullptr;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    bool fakeInputWithoutKeys_ = false;
    std::list<Toplevel> toplevels_;
    std::uint64_t nextId_ = 1;
    x11::XkbContext context_;
    x11::XkbKeymap seatKeymap_;
};

} // namespace qmpvx::wayland
