#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <string_view>

namespace qmpvx::keys {

// Keys that have no character of their own and are named in braces.
enum class NamedKey : std::uint8_t {
    Backspace, Break, CapsLock, Clear, Delete, Down, End, Enter, Escape, Help, Home, Insert,
    Left, NumLock, PageDown, PageUp, PrintScreen, Right, ScrollLock, Tab, Up,
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14, F15, F16,
    KeypadAdd, KeypadSubtract, KeypadMultiply, KeypadDivide,
};

inline constexpr std::size_t kNamedKeyCount = static_cast<std::size_t>(NamedKey::KeypadDivide) + 1;

// A readable English name such as "PageDown", for logs and tests.
std::string_view keyName(NamedKey key);

// The key that a brace name stands for ("ENTER", "pgdn", "Bs"), ignoring ASCII case.
std::optional<NamedKey> findKeyName(std::string_view notationName);

// Every spelling accepted in braces, in upper case, aliases included:
// what the manual lists.
std::span<const std::pair<std::string_view, NamedKey>> notationNames();

} // namespace qmpvx::keys
