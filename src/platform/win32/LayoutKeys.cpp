#include "platform/win32/LayoutKeys.h"

#include "platform/TitleMatch.h"

#include <array>
#include <bit>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace qmpvx::win32 {

namespace {

constexpr std::uint8_t kShift = 1;
constexpr std::uint8_t kCtrl = 2;
constexpr std::uint8_t kAlt = 4;
constexpr std::uint8_t kAltGr = kCtrl | kAlt;

struct VirtualKey {
    WORD code;
    bool extended;
};

VirtualKey virtualKeyOf(keys::NamedKey key)
{
    using keys::NamedKey;
    if (key >= NamedKey::F1 && key <= NamedKey::F16)
        return {static_cast<WORD>(VK_F1 + (static_cast<int>(key) - static_cast<int>(NamedKey::F1))), false};
    switch (key) {
    case NamedKey::Backspace: return {VK_BACK, false};
    case NamedKey::Break: return {VK_CANCEL, true};
    case NamedKey::CapsLock: return {VK_CAPITAL, false};
    case NamedKey::Clear: return {VK_CLEAR, false};
    case NamedKey::Delete: return {VK_DELETE, true};
    case NamedKey::Down: return {VK_DOWN, true};
    case NamedKey::End: return {VK_END, true};
    case NamedKey::Enter: return {VK_RETURN, false};
    case NamedKey::Escape: return {VK_ESCAPE, false};
    case NamedKey::Help: return {VK_HELP, false};
    case NamedKey::Home: return {VK_HOME, true};
    case NamedKey::Insert: return {VK_INSERT, true};
    case NamedKey::Left: return {VK_LEFT, true};
    case NamedKey::NumLock: return {VK_NUMLOCK, true};
    case NamedKey::PageDown: return {VK_NEXT, true};
    case NamedKey::PageUp: return {VK_PRIOR, true};
    case NamedKey::PrintScreen: return {VK_SNAPSHOT, true};
    case NamedKey::Right: return {VK_RIGHT, true};
    case NamedKey::ScrollLock: return {VK_SCROLL, false};
    case NamedKey::Tab: return {VK_TAB, false};
    case NamedKey::Up: return {VK_UP, true};
    case NamedKey::KeypadAdd: return {VK_ADD, false};
    case NamedKey::KeypadSubtract: return {VK_SUBTRACT, false};
    case NamedKey::KeypadMultiply: return {VK_MULTIPLY, false};
    case NamedKey::KeypadDivide: return {VK_DIVIDE, true};
    default: return {0, false};
    }
}

// The notation's modifiers in the order they are named, with their keys.
struct ModifierKey {
    keys::Modifier modifier;
    std::uint8_t bit;
    WORD code;
    char sign;
};
constexpr std::array<ModifierKey, 3> kModifiers = {{
    {keys::Modifier::Shift, kShift, VK_SHIFT, '+'},
    {keys::Modifier::Ctrl, kCtrl, VK_CONTROL, '^'},
    {keys::Modifier::Alt, kAlt, VK_MENU, '%'},
}};

const ModifierKey& keyOf(keys::Modifier modifier)
{
    return kModifiers.at(static_cast<std::size_t>(modifier));
}

KeyStroke down(WORD code, bool extended = false) { return {.virtualKey = code, .extended = extended}; }
KeyStroke up(WORD code, bool extended = false) { return {.virtualKey = code, .extended = extended, .up = true}; }

// A level that needs Ctrl or Alt alone is a command, not typing (the layouts
// give Ctrl+A for U+0001); kana and other states are beyond SendInput's
// three modifiers.
std::optional<LayoutKey> typable(std::optional<LayoutKey> key)
{
    if (!key || (key->shiftState & ~(kShift | kAltGr)) != 0)
        return std::nullopt;
    const std::uint8_t chord = key->shiftState & kAltGr;
    if (chord == kCtrl || chord == kAlt)
        return std::nullopt;
    return key;
}

// "Ctrl (^)", "Shift (+) and Alt (%)"; and their signs, "^", "+ and %".
std::pair<std::string, std::string> namesOf(std::uint8_t bits)
{
    std::string names;
    std::string signs;
    int left = std::popcount(bits);
    for (const ModifierKey& m : kModifiers) {
        if ((bits & m.bit) == 0)
            continue;
        const std::string_view joint = names.empty() ? "" : (left == 1 ? " and " : ", ");
        names += std::string(joint) + std::string(keys::modifierName(m.modifier)) + " (" + m.sign + ")";
        signs += std::string(joint) + m.sign;
        --left;
    }
    return {names, signs};
}

class Planner {
public:
    Planner(const LayoutLookup& layout, const std::string& title) : layout_(layout), title_(title) {}

    KeyStep plan(const keys::KeyAction& action)
    {
        using Kind = keys::KeyAction::Kind;
        switch (action.kind) {
        case Kind::Press:
            held_ |= keyOf(action.modifier).bit;
            return {{down(keyOf(action.modifier).code)}, false};
        case Kind::Release:
            held_ &= static_cast<std::uint8_t>(~keyOf(action.modifier).bit);
            return {{up(keyOf(action.modifier).code)}, false};
        case Kind::Key: {
            const VirtualKey key = virtualKeyOf(action.key);
            return {{down(key.code, key.extended), up(key.code, key.extended)}, true};
        }
        case Kind::Character: break;
        }
        const std::optional<LayoutKey> key = typable(layout_(action.character));
        if (!key)
            return {unicode(action), true};
        const std::uint8_t level = key->shiftState;
        if ((level & kAltGr) != 0) {
            // The notation's Ctrl or Alt would vanish into AltGr, its Shift
            // pick another level of the key.
            const auto clash = static_cast<std::uint8_t>((held_ & kAltGr) | (held_ & kShift & ~level));
            if (clash != 0) {
                const auto [names, signs] = namesOf(clash);
                refuse("on the keyboard layout of that window, character " + std::to_string(action.position) +
                       " is typed with AltGr, which cannot be combined with " + names +
                       "; move the character out of what " + signs + " applies to.");
            }
        }
        // What the notation holds already is not pressed again, and stays down.
        const auto own = static_cast<std::uint8_t>(level & ~held_);
        KeyStep step{{}, true};
        for (const ModifierKey& m : kModifiers)
            if ((own & m.bit) != 0)
                step.strokes.push_back(down(m.code));
        step.strokes.push_back(down(key->virtualKey));
        step.strokes.push_back(up(key->virtualKey));
        for (auto m = kModifiers.rbegin(); m != kModifiers.rend(); ++m)
            if ((own & m->bit) != 0)
                step.strokes.push_back(up(m->code));
        return step;
    }

private:
    // A Unicode event ignores the modifiers held around it: refuse rather
    // than type something other than the notation asks for.
    std::vector<KeyStroke> unicode(const keys::KeyAction& action) const
    {
        if (held_ != 0) {
            const auto [names, signs] = namesOf(held_);
            refuse("the keyboard layout of that window has no key of its own for character " +
                   std::to_string(action.position) + ", so it cannot be typed with " + names +
                   " held; move the character out of what " + signs +
                   " applies to, or switch that window to a keyboard layout that has it.");
        }
        std::vector<KeyStroke> strokes;
        const char32_t c = action.character;
        const auto type = [&strokes](char16_t unit) {
            strokes.push_back({.unit = unit});
            strokes.push_back({.unit = unit, .up = true});
        };
        if (c > 0xFFFF) {
            type(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            type(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            type(static_cast<char16_t>(c));
        }
        return strokes;
    }

    [[noreturn]] void refuse(const std::string& why) const
    {
        throw std::runtime_error("Nothing was typed into " + quotedTitle(title_) + ": " + why);
    }

    const LayoutLookup& layout_;
    const std::string& title_;
    std::uint8_t held_ = 0; // by the notation
};

// What the key types at its level, as the target's TranslateMessage would
// find it (with Caps Lock off); nothing for a dead key or several characters.
std::optional<char32_t> typedBy(LayoutKey key, HKL layout)
{
    std::array<BYTE, 256> state{};
    const auto hold = [&](std::uint8_t bit, int generic, int left) {
        if ((key.shiftState & bit) != 0)
            state[generic] = state[left] = 0x80;
    };
    hold(kShift, VK_SHIFT, VK_LSHIFT);
    hold(kCtrl, VK_CONTROL, VK_LCONTROL);
    hold(kAlt, VK_MENU, VK_LMENU);
    const UINT scan = MapVirtualKeyExW(key.virtualKey, MAPVK_VK_TO_VSC, layout);
    std::array<WCHAR, 4> out{};
    // Flag 4 leaves this thread's keyboard state alone (Windows 10 1607 on);
    // where it is ignored, asking again clears a dead key left pending.
    constexpr UINT kKeepState = 4;
    const int count = ToUnicodeEx(key.virtualKey, scan, state.data(), out.data(), static_cast<int>(out.size()),
                                  kKeepState, layout);
    if (count < 0)
        ToUnicodeEx(key.virtualKey, scan, state.data(), out.data(), static_cast<int>(out.size()), kKeepState, layout);
    if (count != 1)
        return std::nullopt;
    return out[0];
}

} // namespace

LayoutLookup layoutLookup(HKL layout)
{
    return [layout](char32_t c) -> std::optional<LayoutKey> {
        if (c > 0xFFFF)
            return std::nullopt;
        const SHORT found = VkKeyScanExW(static_cast<WCHAR>(c), layout);
        if (found == -1)
            return std::nullopt;
        const LayoutKey key{LOBYTE(found), HIBYTE(found)};
        // A dead key (the top bit) only marks the next character. And only a key
        // that types exactly the character will do: Wine, for one, finds the
        // AltGr levels but types nothing for Ctrl+Alt and a key.
        if ((MapVirtualKeyExW(key.virtualKey, MAPVK_VK_TO_CHAR, layout) & 0x80000000U) != 0 ||
            typedBy(key, layout) != c)
            return std::nullopt;
        return key;
    };
}

std::vector<KeyStep> planKeySteps(const std::vector<keys::KeyAction>& actions, const LayoutLookup& layout,
                                  const std::string& title)
{
    Planner planner(layout, title);
    std::vector<KeyStep> steps;
    steps.reserve(actions.size());
    for (const keys::KeyAction& action : actions)
        steps.push_back(planner.plan(action));
    return steps;
}

} // namespace qmpvx::win32
