#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

namespace qmpvx::x11 {
namespace {

// xkbcommon gives the eight real X modifiers the first indices, in X's bit order.
constexpr std::uint32_t kRealModifiers = 0xFF;
constexpr xkb_keycode_t kFirstXKeycode = 8;
constexpr xkb_keycode_t kLastXKeycode = 255;
constexpr std::size_t kMaxMasksPerLevel = 32;

// Keys whose modifiers select shift levels; pressing them is all typing holds.
constexpr std::array<xkb_keysym_t, 4> kLevelShiftKeysyms = {
    XKB_KEY_Shift_L, XKB_KEY_Shift_R, XKB_KEY_ISO_Level3_Shift, XKB_KEY_ISO_Level5_Shift};

std::string hex(std::uint32_t value, const char* format)
{
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), format, static_cast<unsigned>(value));
    return text.data();
}

XkbState newState(xkb_keymap* keymap, xkb_layout_index_t group)
{
    XkbState state(xkb_state_new(keymap));
    if (!state)
        throw std::runtime_error("Could not create a keyboard state from the keyboard map (out of memory?).");
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, group);
    return state;
}

void setModifiers(xkb_state* state, std::uint32_t held, std::uint32_t locked, xkb_layout_index_t group)
{
    xkb_state_update_mask(state, held, 0, locked, 0, 0, group);
}

std::uint32_t realModifier(xkb_keymap* keymap, const char* name)
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index < 8 ? 1u << index : 0;
}

bool hasSymbols(xkb_keymap* keymap, xkb_keycode_t keycode)
{
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms) > 0)
                return true;
        }
    }
    return false;
}

// The character a keysym enters as text. Keypad, function and dead keysyms
// (0xFE00..0xFFFF) translate to characters in xkbcommon, but not in every client.
char32_t textCharacter(xkb_keysym_t keysym)
{
    if (keysym >= 0xFE00 && keysym <= 0xFFFF)
        return 0;
    return xkb_keysym_to_utf32(keysym);
}

// The modifiers the X server sets while this key is down, or locks when it is tapped.
std::uint32_t modifiersSetBy(xkb_keymap* keymap, xkb_layout_index_t group, xkb_keycode_t keycode)
{
    const XkbState state = newState(keymap, group);
    xkb_state_update_key(state.get(), keycode, XKB_KEY_DOWN);
    const auto components = static_cast<xkb_state_component>(
        XKB_STATE_MODS_DEPRESSED | XKB_STATE_MODS_LATCHED | XKB_STATE_MODS_LOCKED);
    return xkb_state_serialize_mods(state.get(), components) & kRealModifiers;
}

} // namespace

auto KeymapIndex::Planned::rank() const
{
    return std::tuple(stroke.modifiers != 0, level, std::popcount(stroke.modifiers), stroke.modifiers,
                      stroke.keycode);
}

template <typename Key>
void KeymapIndex::keepBetter(std::unordered_map<Key, Planned>& plans, Key key, const Planned& plan)
{
    const auto [found, inserted] = plans.try_emplace(key, plan);
    if (!inserted && plan.rank() < found->second.rank())
        found->second = plan;
}

KeymapIndex::KeymapIndex(xkb_keymap* keymap, xkb_layout_index_t activeGroup, const std::vector<std::uint8_t>& ignored)
    : group_(activeGroup)
{
    if (!keymap)
        throw std::invalid_argument("KeymapIndex needs a keyboard map; got none.");
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(keymap);
    if (activeGroup >= groups)
        throw std::invalid_argument("The active keyboard group " + std::to_string(activeGroup + 1) +
                                    " does not exist: the keyboard map has " + std::to_string(groups) +
                                    " group(s).");

    shiftMask_ = realModifier(keymap, XKB_MOD_NAME_SHIFT);
    capsLockMask_ = realModifier(keymap, XKB_MOD_NAME_CAPS);
    controlMask_ = realModifier(keymap, XKB_MOD_NAME_CTRL);

    const xkb_keycode_t first = std::max(xkb_keymap_min_keycode(keymap), kFirstXKeycode);
    const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap), kLastXKeycode);
    const XkbState state = newState(keymap, group_);

    // Virtual modifiers reach the server as whatever real modifiers their keys
    // set, so press the keys rather than trust names. Found at the base level,
    // before anything else is indexed, because planning levels depends on them.
    const auto baseKey = [&](xkb_keysym_t keysym) -> std::optional<xkb_keycode_t> {
        for (xkb_keycode_t keycode = first; keycode <= last; ++keycode)
            if (xkb_state_key_get_one_sym(state.get(), keycode) == keysym)
                return keycode;
        return std::nullopt;
    };
    const auto setBy = [&](xkb_keysym_t keysym) -> std::uint32_t {
        const auto keycode = baseKey(keysym);
        return keycode ? modifiersSetBy(keymap, group_, *keycode) : 0;
    };
    altMask_ = setBy(XKB_KEY_Alt_L);
    if (!altMask_)
        altMask_ = setBy(XKB_KEY_Alt_R);
    levelThreeMask_ = setBy(XKB_KEY_ISO_Level3_Shift);
    numLockMask_ = setBy(XKB_KEY_Num_Lock);
    for (const xkb_keysym_t keysym : kLevelShiftKeysyms) {
        const auto keycode = baseKey(keysym);
        if (!keycode)
            continue;
        const std::uint32_t modifiers = modifiersSetBy(keymap, group_, *keycode);
        const bool forbidden = modifiers & (controlMask_ | capsLockMask_ | numLockMask_ | altMask_);
        const bool known = std::ranges::any_of(modifierKeys_, [&](const KeyStroke& key) {
            return key.modifiers == modifiers;
        });
        if (modifiers && !forbidden && !known)
            modifierKeys_.push_back({static_cast<std::uint8_t>(*keycode), modifiers});
    }

    for (xkb_keycode_t keycode = first; keycode <= last; ++keycode) {
        if (std::ranges::find(ignored, keycode) != ignored.end())
            continue;
        if (!hasSymbols(keymap, keycode))
            spareKeycodes_.push_back(static_cast<std::uint8_t>(keycode));
        else
            indexKey(keymap, state.get(), keycode);
    }
}

void KeymapIndex::indexKey(xkb_keymap* keymap, xkb_state* state, xkb_keycode_t keycode)
{
    setModifiers(state, 0, 0, group_);
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state, keycode);
    if (layout == XKB_LAYOUT_INVALID)
        return;
    const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
    for (xkb_level_index_t level = 0; level < levels; ++level) {
        const xkb_keysym_t* syms = nullptr;
        // A level with several keysyms has no single one for the X core protocol.
        if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms) != 1)
            continue;
        const auto plan = planLevel(keymap, state, keycode, layout, level, syms[0]);
        if (!plan)
            continue;
        keepBetter(byKeysym_, syms[0], *plan);
        if (const char32_t character = textCharacter(syms[0]))
            keepBetter(byCharacter_, character, *plan);
    }
}

std::optional<KeymapIndex::Planned> KeymapIndex::planLevel(xkb_keymap* keymap, xkb_state* state,
                                                           xkb_keycode_t keycode, xkb_layout_index_t layout,
                                                           xkb_level_index_t level, xkb_keysym_t keysym) const
{
    std::array<xkb_mod_mask_t, kMaxMasksPerLevel> masks{};
    const std::size_t count =
        xkb_keymap_key_get_mods_for_level(keymap, keycode, layout, level, masks.data(), masks.size());
    std::sort(masks.begin(), masks.begin() + static_cast<std::ptrdiff_t>(count), [](auto a, auto b) {
        return std::tuple(std::popcount(a), a) < std::tuple(std::popcount(b), b);
    });
    const auto types = [&](std::uint32_t held, std::uint32_t locked) {
        setModifiers(state, held, locked, group_);
        return xkb_state_key_get_one_sym(state, keycode) == keysym;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t mask = masks[i];
        if ((mask & ~kRealModifiers) || !holdersFor(mask))
            continue;
        // Keypad keys change meaning with NumLock, which the user may have on.
        if (types(mask, 0) && (!numLockMask_ || types(mask, numLockMask_)))
            return Planned{{static_cast<std::uint8_t>(keycode), mask}, level};
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> KeymapIndex::holdersFor(std::uint32_t modifiers) const
{
    std::vector<std::uint8_t> keycodes;
    std::uint32_t covered = 0;
    for (const KeyStroke& key : modifierKeys_) {
        if ((key.modifiers & ~modifiers) == 0 && (key.modifiers & ~covered) != 0) {
            keycodes.push_back(key.keycode);
            covered |= key.modifiers;
        }
    }
    if (covered != modifiers)
        return std::nullopt;
    return keycodes;
}

std::optional<KeyStroke> KeymapIndex::find(xkb_keysym_t keysym) const
{
    const auto found = byKeysym_.find(keysym);
    if (found == byKeysym_.end())
        return std::nullopt;
    return found->second.stroke;
}

std::optional<KeyStroke> KeymapIndex::findCharacter(char32_t character) const
{
    const auto bySymbol = byKeysym_.find(keysymForCharacter(character));
    const auto byText = byCharacter_.find(character);
    const Planned* best = bySymbol != byKeysym_.end() ? &bySymbol->second : nullptr;
    if (byText != byCharacter_.end() && (!best || byText->second.rank() < best->rank()))
        best = &byText->second;
    if (!best)
        return std::nullopt;
    return best->stroke;
}

std::vector<std::uint8_t> KeymapIndex::keycodesToHold(std::uint32_t modifiers) const
{
    auto keycodes = holdersFor(modifiers);
    if (!keycodes)
        throw std::invalid_argument("No combination of Shift, Level3 and Level5 keys in the keyboard map "
                                    "sets exactly the modifiers " + hex(modifiers, "0x%02X") + ".");
    return *std::move(keycodes);
}

xkb_keysym_t keysymForCharacter(char32_t character)
{
    if (character == U'\n' || character == U'\r')
        throw std::invalid_argument("A line break is typed with the Enter key; it has no character key.");
    if (character == U'\t')
        return XKB_KEY_Tab;
    // Older libxkbcommon encodes surrogates as keysyms.
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    const xkb_keysym_t keysym = surrogate ? XKB_KEY_NoSymbol : xkb_utf32_to_keysym(character);
    if (keysym == XKB_KEY_NoSymbol)
        throw std::invalid_argument(hex(character, "U+%04X") +
                                    " cannot be typed: it is a surrogate, a non-character or not Unicode.");
    return keysym;
}

} // namespace qmpvx::x11
