#pragma once

#include "platform/x11/KeymapIndex.h"
#include "platform/x11/XConnection.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
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

// The symbols of the plain and the Shift level of some keycodes, as the
// core protocol has them; NoSymbol on both is an empty keycode.
using KeycodeSymbols = std::map<std::uint8_t, std::array<xcb_keysym_t, 2>>;

KeycodeSymbols readKeycodes(XConnection& connection, const std::vector<std::uint8_t>& keycodes);

// Each change makes every client (the window manager too) reload its
// keyboard map, so neighbouring keycodes change in one request; keycodes not
// listed are never rewritten, as a rewrite through the core protocol would
// lose their XKB details.
void writeKeycodes(XConnection& connection, const KeycodeSymbols& symbols);

// Keycodes that are free to borrow as far as the server is concerned: in no
// modifier map and without XKB actions (a key can act without a symbol).
std::vector<std::uint8_t> keycodesWithoutEffects(XConnection& connection, const std::vector<std::uint8_t>& keycodes);

} // namespace qmpvx::x11
