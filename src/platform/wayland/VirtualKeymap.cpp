#include "platform/wayland/VirtualKeymap.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

namespace qmpvx::wayland {
namespace {

using x11::KeymapIndex;

constexpr std::uint32_t kEvdevOffset = 8;
constexpr std::uint32_t kLastX11Keycode = 255;

// Keys of Japanese and ISO keyboards and codes nothing binds: a client that
// acts on the evdev code (browsers map it to a key code of their own) finds
// nothing to do. Media, power, browser and input-method keys are not here.
constexpr std::array<std::uint32_t, 8> kMeaninglessEvdevCodes = {
    89,  // KEY_RO
    95,  // KEY_KPJPCOMMA
    112, // KEY_MACRO
    124, // KEY_YEN
    170, // KEY_ISO
    214, // KEY_QUESTION
    222, // KEY_ALTERASE
    240, // KEY_UNKNOWN
};

bool hasSymbols(xkb_keymap* keymap, xkb_keycode_t keycode)
{
    for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts_for_key(keymap, keycode); ++layout) {
        for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, keycode, layout); ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms) > 0)
                return true;
        }
    }
    return false;
}

std::uint32_t modifierBit(xkb_keymap* keymap, const char* name)
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : 1U << index;
}

struct Modifiers {
    std::uint32_t shift, control, alt;
    std::uint32_t of(keys::Modifier modifier) const
    {
        switch (modifier) {
        case keys::Modifier::Shift: return shift;
        case keys::Modifier::Ctrl: return control;
        case keys::Modifier::Alt: return alt;
        }
        return 0;
    }
};

struct Slot {
    std::uint32_t keycode;
    std::size_t level; // 0 plain, 1 Shift
};

// The segment being planned and the borrowed symbols it has placed so far.
class SegmentBuilder {
public:
    SegmentBuilder(xkb_keymap* layout, const std::vector<std::uint32_t>& borrowable)
        : layout_(layout), borrowable_(borrowable)
    {
    }

    // The slot for a keysym, placing it if needed; nullopt when every slot is taken.
    std::optional<Slot> slotFor(xkb_keysym_t keysym)
    {
        if (const auto found = placed_.find(keysym); found != placed_.end())
            return found->second;
        const std::size_t used = placed_.size();
        if (used >= borrowable_.size() * 2)
            return std::nullopt;
        // Plain levels first: a symbol on a Shift level needs the modifier state to change.
        const Slot slot{borrowable_[used % borrowable_.size()], used / borrowable_.size()};
        placed_.emplace(keysym, slot);
        symbols_[slot.keycode][slot.level] = keysym;
        return slot;
    }

    bool empty() const { return segment_.steps.empty(); }
    void add(const VirtualStep& step) { segment_.steps.push_back(step); }

    KeymapSegment finish()
    {
        std::vector<std::pair<std::uint32_t, std::array<xkb_keysym_t, 2>>> extra(symbols_.begin(), symbols_.end());
        segment_.keymap = keymapWithBorrowed(layout_, extra);
        KeymapSegment done = std::move(segment_);
        segment_ = {};
        placed_.clear();
        symbols_.clear();
        return done;
    }

private:
    xkb_keymap* layout_;
    const std::vector<std::uint32_t>& borrowable_;
    KeymapSegment segment_;
    std::map<xkb_keysym_t, Slot> placed_;
    std::map<std::uint32_t, std::array<xkb_keysym_t, 2>> symbols_;
};


} // namespace

xkb_keysym_t keysymOfTap(const keys::KeyAction& action)
{
    if (action.kind == keys::KeyAction::Kind::Key)
        return x11::keysymOf(action.key);
    try {
        return x11::keysymForCharacter(action.character);
    } catch (const std::invalid_argument&) {
        throw std::runtime_error("The character at position " + std::to_string(action.position) +
                                 " cannot be typed as a key.");
    }
}

bool isKeyboardLayout(xkb_keymap* keymap)
{
    // Escape, Backspace, Tab, Enter, left Shift and the space bar.
    constexpr std::array<std::pair<std::uint32_t, xkb_keysym_t>, 6> kStandardKeys{{
        {1, XKB_KEY_Escape},
        {14, XKB_KEY_BackSpace},
        {15, XKB_KEY_Tab},
        {28, XKB_KEY_Return},
        {42, XKB_KEY_Shift_L},
        {57, XKB_KEY_space},
    }};
    return std::ranges::all_of(kStandardKeys, [keymap](const auto& key) {
        const xkb_keysym_t* syms = nullptr;
        return xkb_keymap_key_get_syms_by_level(keymap, key.first + kEvdevOffset, 0, 0, &syms) == 1 &&
               syms[0] == key.second;
    });
}

std::vector<std::uint32_t> borrowableKeycodes(xkb_keymap* layout)
{
    std::vector<std::uint32_t> keycodes;
    for (const std::uint32_t code : kMeaninglessEvdevCodes) {
        const xkb_keycode_t keycode = code + kEvdevOffset;
        if (keycode <= kLastX11Keycode && xkb_keymap_key_get_name(layout, keycode) && !hasSymbols(layout, keycode))
            keycodes.push_back(keycode);
    }
    return keycodes;
}

std::string keymapWithBorrowed(xkb_keymap* layout,
                               const std::vector<std::pair<std::uint32_t, std::array<xkb_keysym_t, 2>>>& extra)
{
    const std::unique_ptr<char, decltype(&free)> text(xkb_keymap_get_as_string(layout, XKB_KEYMAP_FORMAT_TEXT_V1),
                                                      &free);
    if (!text)
        throw std::runtime_error("The keyboard layout could not be written out as a keymap.");
    std::string keymap(text.get());
    if (extra.empty())
        return keymap;
    const std::size_t symbols = keymap.find("xkb_symbols");
    const std::size_t end = symbols == std::string::npos ? symbols : keymap.find("\n};", symbols);
    if (end == std::string::npos)
        throw std::runtime_error("The keyboard layout's keymap has no symbols section.");
    std::string keys;
    for (const auto& [keycode, levels] : extra) {
        char name[64];
        keys += "\n\tkey <";
        keys += xkb_keymap_key_get_name(layout, keycode);
        keys += "> { type= \"TWO_LEVEL\", symbols[Group1]= [ ";
        for (std::size_t level = 0; level < levels.size(); ++level) {
            if (levels[level] == XKB_KEY_NoSymbol)
                keys += "NoSymbol";
            else if (xkb_keysym_get_name(levels[level], name, sizeof name) > 0)
                keys += name;
            keys += level + 1 < levels.size() ? ", " : " ] };";
        }
    }
    keymap.insert(end, keys);
    return keymap;
}

std::vector<KeymapSegment> planVirtualTyping(const std::vector<keys::KeyAction>& actions, xkb_keymap* layout)
{
    const KeymapIndex index(layout, 0);
    const std::vector<std::uint32_t> borrowable = borrowableKeycodes(layout);
    const Modifiers modifiers{modifierBit(layout, XKB_MOD_NAME_SHIFT), modifierBit(layout, XKB_MOD_NAME_CTRL),
                              modifierBit(layout, XKB_MOD_NAME_ALT)};

    std::vector<KeymapSegment> segments;
    SegmentBuilder builder(layout, borrowable);
    std::uint32_t held = 0;
    for (const keys::KeyAction& action : actions) {
        if (!action.isTap()) {
            if (action.kind == keys::KeyAction::Kind::Press)
                held |= modifiers.of(action.modifier);
            else
                held &= ~modifiers.of(action.modifier);
            builder.add({.isTap = false, .tap = {.keycode = 0, .modifiers = held}});
            continue;
        }
        const xkb_keysym_t keysym = keysymOfTap(action);
        const std::optional<x11::KeyStroke> stroke =
            action.kind == keys::KeyAction::Kind::Key ? index.find(keysym) : index.findCharacter(action.character);
        if (stroke) {
            builder.add({.tap = {.keycode = stroke->keycode, .modifiers = held | stroke->modifiers}});
            continue;
        }
        if (borrowable.empty())
            throw std::runtime_error("The keyboard layout leaves no key free for the character at position " +
                                     std::to_string(action.position) + ".");
        std::optional<Slot> slot = builder.slotFor(keysym);
        if (!slot) {
            segments.push_back(builder.finish());
            slot = builder.slotFor(keysym);
        }
        const std::uint32_t level = slot->level == 1 ? modifiers.shift : 0;
        builder.add({.tap = {.keycode = slot->keycode, .modifiers = (held & ~modifiers.shift) | level}});
    }
    if (!builder.empty() || segments.empty())
        segments.push_back(builder.finish());
    return segments;
}

} // namespace qmpvx::wayland
