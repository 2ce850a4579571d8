#pragma once

#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qmpvx::wayland {

// The keyboard layout GNOME Shell types with, by its XKB names.
struct GnomeLayout {
    std::string layout;
    std::string variant;
    std::string options;
};

// The layout compiled as mutter compiles it (rules evdev, model pc105+inet).
// Throws std::runtime_error when xkb-data does not know it.
x11::XkbKeymap compileGnomeLayout(const GnomeLayout& layout);

// A key pressed or released through the extension's virtual keyboard: an
// evdev code, read with the keymap in force; `endsTap` marks the release of
// a typed key (for counting, and where a stretch of keys may end).
struct GnomeKeyEvent {
    std::uint32_t evdevCode = 0;
    bool press = false;
    bool endsTap = false;
    friend bool operator==(const GnomeKeyEvent&, const GnomeKeyEvent&) = default;
};

// A key of a temporary keymap, by its XKB name: its key type and the
// symbols of its four levels (plain, Shift, Level3, Level3 and Shift;
// NoSymbol for none). A key the layout leaves empty, or a key of the layout
// that keeps its own two levels and carries borrowed symbols on the next two.
struct GnomeBorrowedKey {
    std::string name;
    std::string type;
    std::array<xkb_keysym_t, 4> keysyms{};
    friend bool operator==(const GnomeBorrowedKey&, const GnomeBorrowedKey&) = default;
};

// A stretch typed with one keymap. With `borrowed` empty, the user's own
// keymap; else the layout with the keys listed put in, swapped in before the
// stretch's keys.
struct GnomeSegment {
    std::vector<GnomeBorrowedKey> borrowed;
    std::vector<GnomeKeyEvent> events;
};

struct GnomeTypingPlan {
    std::vector<GnomeSegment> segments;
    std::size_t taps = 0;
    // The plan holds for Caps Lock off: the key that toggles it (an evdev
    // code; 0 when the layout has none), for the extension to switch it off
    // for the send and on again afterwards.
    std::uint32_t capsLockKey = 0;
};

// Key actions as keys of `layout` (its first group), Shift and AltGr by their
// keys as on a physical keyboard. Characters the layout lacks go on keycodes
// it leaves empty (all four levels) and, where it has a Level3 key, on the
// free Level3 levels of its two-level character keys: about 120 places on a
// US layout, so that a text rarely needs more than one temporary keymap. A
// new one starts only when every place is taken.
// Throws std::runtime_error, naming the position, for a character that
// cannot be typed.
GnomeTypingPlan planGnomeTyping(const std::vector<keys::KeyAction>& actions, xkb_keymap* layout);

} // namespace qmpvx::wayland
