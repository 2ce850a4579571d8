#pragma once

#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeymapIndex.h"

#include <array>
#include <cstdint>
#include <utility>
#include <string>
#include <vector>

namespace qmpvx::wayland {

// One key typed through the virtual keyboard: the modifier state it is typed
// with (xkb modifier bits), then its press and release.
struct VirtualTap {
    std::uint32_t keycode = 0; // xkb keycode, 9..255
    std::uint32_t modifiers = 0;
    friend bool operator==(const VirtualTap&, const VirtualTap&) = default;
};

// A step of typing: a tap, or a change of the modifiers the text holds
// (a lone modifier of the notation, at the end of the text or a group).
struct VirtualStep {
    bool isTap = true;
    VirtualTap tap;
};

// A stretch of text typed with one keymap.
struct KeymapSegment {
    std::string keymap; // xkb text, as the virtual keyboard uploads it
    std::vector<VirtualStep> steps;
};

// The keymap is a keyboard layout: the keys every PC layout has sit at their
// standard keycodes. A seat's keymap is the one of the keyboard used last,
// which may be another program's virtual keyboard with a few symbols of its own.
bool isKeyboardLayout(xkb_keymap* keymap);

// Keycodes (xkb, <= 255) that characters the layout lacks may be typed
// through: without a symbol in `layout`, named in it, and with an evdev
// meaning no application or input method acts on. Keycodes above 255 are
// never used: X11 clients under XWayland cannot see them.
std::vector<std::uint32_t> borrowableKeycodes(xkb_keymap* layout);

// Key actions as segments of typing through a virtual keyboard whose keymap
// is `layout` (group 1) plus, for each segment, the characters of that
// segment the layout lacks, on the plain and Shift levels of the borrowable
// keycodes. The layout's keys keep their keycodes, so Return stays at the
// keycode applications expect. A new segment starts only when the borrowed
// slots are all taken. The notation's modifiers are modifier state.
// Throws std::runtime_error, naming the position, for a character that has
// no keysym.
std::vector<KeymapSegment> planVirtualTyping(const std::vector<keys::KeyAction>& actions, xkb_keymap* layout);

// The keysym a tap types; throws std::runtime_error, naming the position,
// for a character that has none.
xkb_keysym_t keysymOfTap(const keys::KeyAction& action);

// The layout's keymap text with `extra` keysyms put on keycodes: two levels each.
std::string keymapWithBorrowed(xkb_keymap* layout,
                               const std::vector<std::pair<std::uint32_t, std::array<xkb_keysym_t, 2>>>& extra);

} // namespace qmpvx::wayland
