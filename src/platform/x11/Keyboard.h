#pragma once

#include "platform/x11/KeymapIndex.h"
#include "platform/x11/XConnection.h"

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
    void setCapsLock(bool on);

private:
    XConnection& connection_;
    std::int32_t deviceId_ = -1;
    XkbContext context_;
    XkbKeymap keymap_;
    xkb_layout_index_t activeGroup_ = 0;
};

// Borrowed keycodes for characters the layout lacks. Their original symbols
// come back when the loan ends: the caller waits first until the target has
// read every key typed through them. Each change makes every client (the
// window manager too) reload its keyboard map, so neighbouring keycodes change
// in one request; keycodes not lent are never rewritten, as a rewrite through
// the core protocol would lose their XKB details.
class KeycodeLoan {
public:
    explicit KeycodeLoan(XConnection& connection) : connection_(connection) {}
    ~KeycodeLoan();
    KeycodeLoan(const KeycodeLoan&) = delete;
    KeycodeLoan& operator=(const KeycodeLoan&) = delete;

    // Maps each keycode to its keysym (on both shift levels), all in one go.
    void map(const std::vector<std::pair<std::uint8_t, xkb_keysym_t>>& assignment);
    void restore() noexcept;

private:
    // Symbols per keycode, every keycode with the same number of them.
    using Mapping = std::map<std::uint8_t, std::vector<xcb_keysym_t>>;
    void write(const Mapping& mapping);

    XConnection& connection_;
    Mapping original_;
};

} // namespace qmpvx::x11
