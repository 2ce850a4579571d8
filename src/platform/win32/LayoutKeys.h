#pragma once

#include "platform/keys/KeyNotation.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qmpvx::win32 {

// The key of a keyboard layout that types a character, with the modifiers of
// its level as VkKeyScanExW gives them.
struct LayoutKey {
    std::uint8_t virtualKey = 0;
    std::uint8_t shiftState = 0; // 1 Shift, 2 Ctrl, 4 Alt; Ctrl+Alt is AltGr
};

// The layout's key for a character, if it has one that types exactly that
// character; nothing sends the character as a Unicode event instead.
using LayoutLookup = std::function<std::optional<LayoutKey>(char32_t)>;

// The target's layout as a lookup.
LayoutLookup layoutLookup(HKL layout);

// One key event: a virtual key going down or up, or, for virtualKey 0, a
// Unicode event for one UTF-16 unit.
struct KeyStroke {
    std::uint16_t virtualKey = 0;
    char16_t unit = 0;
    bool extended = false;
    bool up = false;

    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// The events of one action, to be sent in one go.
struct KeyStep {
    std::vector<KeyStroke> strokes;
    bool tap = false; // counts as a key typed
};

// The events that type the actions through the layout as a keyboard would:
// a character takes the modifiers of its level just around itself, on top of
// those the notation holds. The whole text is planned before anything is
// sent; a character that cannot be typed with the modifiers held for it is
// refused by its position, for the window `title`.
std::vector<KeyStep> planKeySteps(const std::vector<keys::KeyAction>& actions, const LayoutLookup& layout,
                                  const std::string& title);

} // namespace qmpvx::win32
