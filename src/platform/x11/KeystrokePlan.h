#pragma once

#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace qmpvx::x11 {

struct KeyEvent {
    std::uint8_t keycode;
    bool press;
    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// What goes to the target in one piece: one typed key with the modifiers of
// its level, or the press or release of a modifier the text holds.
struct Step {
    std::vector<KeyEvent> events;
    bool isTap;
};

// A stretch of typing whose borrowed keycodes stay mapped the whole time.
struct Segment {
    std::vector<std::pair<std::uint8_t, xkb_keysym_t>> loans;  // mapped before its steps
    std::vector<Step> steps;
};

// Key actions turned into key events for one keymap. Characters the active
// layout lacks go to borrowed keycodes (free ones, then multimedia keys), all
// of a segment's mapped at once; a new segment starts only when they run out,
// so a keycode is never remapped while keys typed through it may be unread.
struct KeystrokePlan {
    std::vector<Segment> segments;
    std::size_t taps = 0;
};

// Throws when a character cannot be typed at all (no spare keycodes, or a
// character with no keysym).
KeystrokePlan planKeystrokes(const std::vector<keys::KeyAction>& actions, xkb_keymap* keymap,
                             xkb_layout_index_t activeGroup);

} // namespace qmpvx::x11
