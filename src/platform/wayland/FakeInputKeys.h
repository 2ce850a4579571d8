#pragma once

#include "platform/keys/KeyNotation.h"

#include <xkbcommon/xkbcommon.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qmpvx::wayland {

// A press or release of a key as KWin's fake input takes it: an evdev code,
// read with KWin's own keymap and modifier state.
struct FakeKeyEvent {
    std::uint32_t evdevCode = 0;
    bool press = false;
    friend bool operator==(const FakeKeyEvent&, const FakeKeyEvent&) = default;
};

// One typed key with the modifier keys of its level around it (those the
// text holds already are neither pressed again nor let go), or the press or
// release of a modifier the text holds.
struct FakeInputStep {
    std::vector<FakeKeyEvent> events;
    bool isTap = false;
};

struct FakeInputPlan {
    std::vector<FakeInputStep> steps;
    std::size_t taps = 0;
};

// Key actions as keys of `layout` in its group `group`: Shift and AltGr by
// their keys, as on a physical keyboard, so `+a` types A and `^c` is Ctrl+C.
// Fake input cannot add symbols to a keymap, so a text with a character or
// key the layout lacks is refused whole: std::runtime_error naming the first
// one and its position.
FakeInputPlan planFakeInput(const std::vector<keys::KeyAction>& actions, xkb_keymap* layout,
                            xkb_layout_index_t group = 0);

} // namespace qmpvx::wayland
