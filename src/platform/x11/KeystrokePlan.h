#pragma once

#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace qmpvx::x11 {

struct KeyEvent {
    std::uint8_t keycode;
    bool press;
    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// One level (0 plain, 1 Shift, 2 Level3, 3 Level3 and Shift) of a borrowed keycode.
struct Slot {
    std::uint8_t keycode = 0;
    std::uint8_t level = 0;
    friend bool operator==(const Slot&, const Slot&) = default;
};

// What goes to the target in one piece: one typed key with the modifiers of
// its level, or the press or release of a modifier the text holds.
struct Step {
    std::vector<KeyEvent> events;
    bool isTap = false;
    std::optional<Slot> borrowed;  // the borrowed symbol it types
};

// A stretch of typing during which no borrowed keycode changes.
struct Segment {
    KeycodeSymbols lend;          // keycodes whose symbols change before its steps
    std::vector<Slot> replaced;   // symbols it replaces: the keys typed through them must have been read first
    std::vector<Step> steps;
};

struct KeystrokePlan {
    std::vector<Segment> segments;
    std::size_t taps = 0;
    // Every key the plan may hold down at some moment.
    std::vector<std::uint8_t> keycodes() const;
};

// A keycode that characters the layout lacks may be typed through: an empty
// one, or one this run has borrowed already.
struct BorrowableKeycode {
    std::uint8_t keycode = 0;
    LevelSymbols keysyms{};  // what it carries now; NoSymbol on every level when empty
    // When each level was last typed through: 0 when never, or long enough
    // ago for every reader; otherwise larger is later.
    std::array<std::uint64_t, kBorrowedLevels> lastUse{};
};

// Key actions turned into key events for one keymap. Characters the active
// layout lacks go to the borrowable keycodes, one on each shift level, all
// of a segment's mapped at once before it starts. A symbol is replaced only
// when every slot is taken: then the slot typed through longest ago, in a new
// segment if the current one relies on every slot, so that no key is ever
// read with a mapping other than the one it was typed with.
// Throws when a character cannot be typed at all.
// With `levels` 2, borrowed keycodes carry symbols on their plain and Shift
// levels only (the server cannot give them Level3 levels).
KeystrokePlan planKeystrokes(const std::vector<keys::KeyAction>& actions, const KeymapIndex& layout,
                             const std::vector<BorrowableKeycode>& borrowable, std::size_t levels = kBorrowedLevels);

} // namespace qmpvx::x11
