#pragma once

#include "platform/keys/KeyNames.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qmpvx::keys {

// Bounds how long one text can keep the keyboard busy, whatever its counts say.
inline constexpr std::size_t kMaxKeyTaps = 10000;
inline constexpr int kMaxGroupDepth = 3;

enum class Modifier : std::uint8_t { Shift, Ctrl, Alt };

std::string_view modifierName(Modifier modifier);

// One step for an injector. Only the field that belongs to the kind is meaningful;
// the others keep their defaults so that actions compare equal field by field.
struct KeyAction {
    enum class Kind : std::uint8_t {
        Press,     // hold `modifier` down
        Release,   // let `modifier` go
        Character, // press and release whatever types `character`
        Key,       // press and release `key`
    };

    Kind kind = Kind::Character;
    Modifier modifier = Modifier::Shift;
    char32_t character = 0;
    NamedKey key = NamedKey::Enter;
    // Where parseKeyNotation read a tap, for messages about it: the 1-based
    // character that names it (itself, or the name inside braces); 0 otherwise.
    // Not compared: the same keys typed from elsewhere are the same actions.
    std::size_t position = 0;

    static KeyAction press(Modifier m) { return {.kind = Kind::Press, .modifier = m}; }
    static KeyAction release(Modifier m) { return {.kind = Kind::Release, .modifier = m}; }
    static KeyAction tap(char32_t c) { return {.kind = Kind::Character, .character = c}; }
    static KeyAction tap(NamedKey k) { return {.kind = Kind::Key, .key = k}; }

    // A key pressed and released, as counted against the tap limit.
    bool isTap() const { return kind == Kind::Character || kind == Kind::Key; }

    friend bool operator==(const KeyAction& a, const KeyAction& b)
    {
        return a.kind == b.kind && a.modifier == b.modifier && a.character == b.character && a.key == b.key;
    }
};

class KeyNotationError : public std::runtime_error {
public:
    enum class Reason : std::uint8_t {
        InvalidUtf8,
        ControlCharacter,
        EmptyBraces,
        UnknownKeyName,
        BadCount,
        MissingClosingBrace,
        StrayClosingBrace,
        UnclosedGroup,
        StrayClosingParenthesis,
        GroupTooDeep,
        RepeatedModifier,
        TooManyKeys,
    };

    KeyNotationError(Reason reason, std::size_t position, const std::string& message)
        : std::runtime_error(message), reason_(reason), position_(position)
    {
    }

    Reason reason() const noexcept { return reason_; }
    // 1-based, in Unicode characters: the character at fault, or for something
    // never closed, the character that opened it.
    std::size_t position() const noexcept { return position_; }

private:
    Reason reason_;
    std::size_t position_;
};

// The whole text is checked first: on any error this throws KeyNotationError and
// nothing may be typed. Of the control characters only tab, CR and LF are taken
// (as Tab and Enter); any other, DEL and the C1 controls are errors.
// On success every Press has a matching Release, nested.
std::vector<KeyAction> parseKeyNotation(std::string_view utf8Text);

// Compact form such as "+Shift 'a' -Shift {Enter}". It spells out the typed text,
// which may be a password: for tests and local debugging, never for logs.
std::string describe(const std::vector<KeyAction>& actions);

} // namespace qmpvx::keys
