// Any text: either refused with the notation's own error at a position inside
// it, or parsed into balanced actions that, spelled out again, parse the same.
#include "Check.h"
#include "platform/keys/KeyNotation.h"
#include "platform/keys/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using namespace qmpvx::keys;
using qmpvx::fuzz::check;

namespace {

using Kind = KeyAction::Kind;

// A spelling that the notation reads as each named key.
const std::array<std::string, kNamedKeyCount>& notationNames()
{
    static const std::array<std::string, kNamedKeyCount> names = [] {
        std::array<std::string, kNamedKeyCount> found;
        const std::vector<std::string> aliases = {"PGDN", "PGUP", "PRTSC", "ADD", "SUBTRACT", "MULTIPLY", "DIVIDE"};
        for (std::size_t i = 0; i < kNamedKeyCount; ++i) {
            const auto key = static_cast<NamedKey>(i);
            std::string upper(keyName(key));
            std::ranges::transform(upper, upper.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
            std::vector<std::string> candidates = aliases;
            candidates.insert(candidates.begin(), upper);
            for (const std::string& name : candidates) {
                if (findKeyName(name) == key) {
                    found[i] = name;
                    break;
                }
            }
            check(!found[i].empty(), "every named key has a spelling in braces");
        }
        return found;
    }();
    return names;
}

char signOf(Modifier m)
{
    switch (m) {
    case Modifier::Shift: return '+';
    case Modifier::Ctrl: return '^';
    case Modifier::Alt: return '%';
    }
    return '?';
}

// Every key in braces, runs as repeat counts, every held modifier as a group.
// Modifiers with no key after them are tapped on their own, as only the end
// of a text does.
std::string encode(const std::vector<KeyAction>& actions)
{
    const auto lastTap = std::ranges::find_if(actions.rbegin(), actions.rend(), &KeyAction::isTap);
    const std::size_t tapsEnd = actions.rend() - lastTap; // one past the last tap
    std::string out;
    std::vector<bool> opened;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const KeyAction& a = actions[i];
        switch (a.kind) {
        case Kind::Press:
            out += signOf(a.modifier);
            opened.push_back(i < tapsEnd);
            if (opened.back())
                out += '(';
            break;
        case Kind::Release:
            if (opened.back())
                out += ')';
            opened.pop_back();
            break;
        case Kind::Character:
        case Kind::Key: {
            std::size_t run = 1;
            while (i + run < actions.size() && actions[i + run] == a)
                ++run;
            out += '{';
            if (a.kind == Kind::Key)
                out += notationNames()[static_cast<std::size_t>(a.key)];
            else
                appendUtf8(out, a.character);
            if (run > 1)
                out += ' ' + std::to_string(run);
            out += '}';
            i += run - 1;
            break;
        }
        }
    }
    return out;
}

bool isScalarValue(char32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }
bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void checkActions(const std::vector<KeyAction>& actions, std::size_t characters)
{
    std::vector<Modifier> held;
    std::size_t taps = 0, lastPosition = 0;
    for (const KeyAction& a : actions) {
        switch (a.kind) {
        case Kind::Press:
            check(std::ranges::find(held, a.modifier) == held.end(), "a modifier is never pressed while held");
            held.push_back(a.modifier);
            break;
        case Kind::Release:
            check(!held.empty() && held.back() == a.modifier, "releases mirror the presses");
            held.pop_back();
            break;
        case Kind::Character:
            check(isScalarValue(a.character), "typed characters are Unicode scalar values");
            check(!isControl(a.character), "no control character is typed as a character");
            [[fallthrough]];
        case Kind::Key:
            ++taps;
            check(a.position >= 1 && a.position <= characters, "a tap's position is inside the text");
            check(a.position >= lastPosition, "taps come in the order of the text");
            lastPosition = a.position;
            break;
        }
    }
    check(held.empty(), "every press is released");
    check(taps <= kMaxKeyTaps, "the tap limit holds");
}

void checkRefusal(const KeyNotationError& error, std::string_view text)
{
    const std::string message = error.what();
    check(!message.empty() && message.find('#') == std::string::npos, "the message is filled in");
    const Utf8Decoding decoded = decodeUtf8(text);
    if (decoded.invalidByte) {
        check(error.reason() == KeyNotationError::Reason::InvalidUtf8, "bad UTF-8 is reported as such");
        check(error.position() == decoded.characters.size() + 1, "bad UTF-8 is placed after the good prefix");
        return;
    }
    const std::u32string& characters = decoded.characters;
    check(error.position() >= 1 && error.position() <= characters.size(), "an error's position is in the text");
    const auto control = std::ranges::find_if(characters, [](char32_t c) {
        return isControl(c) && c != U'\t' && c != U'\n' && c != U'\r';
    });
    if (control != characters.end()) {
        check(error.reason() == KeyNotationError::Reason::ControlCharacter, "control characters are refused");
        check(error.position() == static_cast<std::size_t>(control - characters.begin()) + 1,
              "the first control character is the one named");
    } else {
        check(error.reason() != KeyNotationError::Reason::ControlCharacter, "only control characters are such");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<KeyAction> actions;
    try {
        actions = parseKeyNotation(text);
    } catch (const KeyNotationError& error) {
        checkRefusal(error, text);
        return 0;
    }
    checkActions(actions, decodeUtf8(text).characters.size());
    const std::string again = encode(actions);
    std::vector<KeyAction> reread;
    try {
        reread = parseKeyNotation(again);
    } catch (const KeyNotationError&) {
        check(false, "the actions spelled out again parse");
    }
    check(reread == actions, "the actions spelled out again parse to the same actions");
    return 0;
}
