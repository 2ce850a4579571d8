#pragma once

#include "platform/x11/KeymapIndex.h"
#include "platform/x11/XConnection.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <memory>
#include <vector>

namespace qmpvx::x11 {

// The keyboard as the server's XTest device sees it: XTest events switch the
// core keyboard to that device's map, which can differ from the physical one.
class Keyboard {
public:
    explicit Keyboard(XConnection& connection);

    xkb_keymap* keymap() const { return keymap_.get(); }
    xkb_layout_index_t activeGroup() const { return activeGroup_; }

    // Keys pressed on any keyboard right now (the user's hotkey, say).
    std::vector<std::uint8_t> heldKeycodes() const;
    // Waits, bounded, until no key is held; throws if some stay down.
    void waitUntilReleased(std::chrono::milliseconds timeout) const;

    bool capsLockOn() const;
    void setCapsLock(bool on) { lockCaps(connection_, on); }
    static void lockCaps(XConnection& connection, bool on);

private:
    XConnection& connection_;
    std::int32_t deviceId_ = -1;
    XkbContext context_;
    XkbKeymap keymap_;
    xkb_layout_index_t activeGroup_ = 0;
};

// Whether another client holds an active grab of the keyboard, which takes
// every key whatever the focus. `now` is a recent server time. Asks for a
// grab that the server must refuse: it answers AlreadyGrabbed before it
// looks at the time, and otherwise InvalidTime for a time in the future, so
// no grab starts and no window sees its focus move.
bool keyboardGrabbedByOther(XConnection& connection, xcb_timestamp_t now);

// The symbols of the borrowed levels of some keycodes, as the core protocol
// has them (its columns 1, 2, 5 and 6: group 1 with and without Level3).
KeycodeSymbols readKeycodes(XConnection& connection, const std::vector<std::uint8_t>& keycodes);

// How borrowed symbols are written: through XKB, with the server's
// four-level key type when it has one (the core protocol cannot say levels 3
// and 4: it makes them a third group); through the core protocol, on two
// levels, where the server refuses XKB's changes (XWayland does).
struct KeymapWrites {
    bool core = false;
    std::optional<std::uint8_t> fourLevel; // the key type's index; only without `core`
    std::size_t levels() const { return fourLevel ? 4 : 2; }
};

// Finds out by writing to `spare`, a keycode without symbols, and emptying it again.
KeymapWrites keymapWrites(XConnection& connection, std::uint8_t spare);

// Maps the keycodes to their symbols. Each change makes every client (the
// window manager too) reload its keyboard map, so neighbouring keycodes
// change in one request; keycodes not listed are never rewritten.
void writeKeycodes(XConnection& connection, const KeycodeSymbols& symbols, const KeymapWrites& how);

// Makes the keycodes empty again, through the core protocol, which leaves
// them exactly as the keymap had them: without symbols, groups or actions.
void emptyKeycodes(XConnection& connection, const std::vector<std::uint8_t>& keycodes);

// Keycodes that are free to borrow as far as the server is concerned: in no
// modifier map and without XKB actions (a key can act without a symbol).
std::vector<std::uint8_t> keycodesWithoutEffects(XConnection& connection, const std::vector<std::uint8_t>& keycodes);

} // namespace qmpvx::x11
