#include "platform/keys/KeyNames.h"

#include <algorithm>
#include <array>
#include <utility>

namespace qmpvx::keys {
namespace {

// In the order of NamedKey.
constexpr std::array<std::string_view, kNamedKeyCount> kReadableNames = {
    "Backspace", "Break", "CapsLock", "Clear", "Delete", "Down", "End", "Enter", "Escape",
    "Help", "Home", "Insert", "Left", "NumLock", "PageDown", "PageUp", "PrintScreen", "Right",
    "ScrollLock", "Tab", "Up",
    "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12", "F13", "F14",
    "F15", "F16",
    "KeypadAdd", "KeypadSubtract", "KeypadMultiply", "KeypadDivide",
};

// Every spelling accepted in braces, aliases included; written in upper case.
constexpr std::pair<std::string_view, NamedKey> kNotationNames[] = {
    {"BACKSPACE", NamedKey::Backspace}, {"BS", NamedKey::Backspace}, {"BKSP", NamedKey::Backspace},
    {"BREAK", NamedKey::Break},
    {"CAPSLOCK", NamedKey::CapsLock},
    {"CLEAR", NamedKey::Clear},
    {"DELETE", NamedKey::Delete}, {"DEL", NamedKey::Delete},
    {"DOWN", NamedKey::Down},
    {"END", NamedKey::End},
    {"ENTER", NamedKey::Enter},
    {"ESC", NamedKey::Escape}, {"ESCAPE", NamedKey::Escape},
    {"HELP", NamedKey::Help},
    {"HOME", NamedKey::Home},
    {"INSERT", NamedKey::Insert}, {"INS", NamedKey::Insert},
    {"LEFT", NamedKey::Left},
    {"NUMLOCK", NamedKey::NumLock},
    {"PGDN", NamedKey::PageDown},
    {"PGUP", NamedKey::PageUp},
    {"PRTSC", NamedKey::PrintScreen},
    {"RIGHT", NamedKey::Right},
    {"SCROLLLOCK", NamedKey::ScrollLock},
    {"TAB", NamedKey::Tab},
    {"UP", NamedKey::Up},
    {"F1", NamedKey::F1}, {"F2", NamedKey::F2}, {"F3", NamedKey::F3}, {"F4", NamedKey::F4},
    {"F5", NamedKey::F5}, {"F6", NamedKey::F6}, {"F7", NamedKey::F7}, {"F8", NamedKey::F8},
    {"F9", NamedKey::F9}, {"F10", NamedKey::F10}, {"F11", NamedKey::F11}, {"F12", NamedKey::F12},
    {"F13", NamedKey::F13}, {"F14", NamedKey::F14}, {"F15", NamedKey::F15}, {"F16", NamedKey::F16},
    {"ADD", NamedKey::KeypadAdd},
    {"SUBTRACT", NamedKey::KeypadSubtract},
    {"MULTIPLY", NamedKey::KeypadMultiply},
    {"DIVIDE", NamedKey::KeypadDivide},
};

constexpr char toAsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string_view keyName(NamedKey key)
{
    return kReadableNames.at(static_cast<std::size_t>(key));
}

std::span<const std::pair<std::string_view, NamedKey>> notationNames()
{
    return kNotationNames;
}

std::optional<NamedKey> findKeyName(std::string_view notationName)
{
    const auto matches = [notationName](const auto& entry) {
        return std::ranges::equal(entry.first, notationName,
                                  [](char upper, char given) { return upper == toAsciiUpper(given); });
    };
    const auto* found = std::ranges::find_if(kNotationNames, matches);
    if (found == std::end(kNotationNames))
        return std::nullopt;
    return found->second;
}

} // namespace qmpvx::keys
