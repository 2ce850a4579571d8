#pragma once

#include "platform/keys/KeyNotation.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace qmpvx::x11 {

struct XkbDeleter {
    void operator()(xkb_context* context) const noexcept { xkb_context_unref(context); }
    void operator()(xkb_keymap* keymap) const noexcept { xkb_keymap_unref(keymap); }
    void operator()(xkb_state* state) const noexcept { xkb_state_unref(state); }
};
using XkbContext = std::unique_ptr<xkb_context, XkbDeleter>;
using XkbKeymap = std::unique_ptr<xkb_keymap, XkbDeleter>;
using XkbState = std::unique_ptr<xkb_state, XkbDeleter>;

// The levels a borrowed keycode carries symbols on: plain, Shift, Level3
// (AltGr) and Level3 with Shift, the ones that type text in every client.
inline constexpr std::size_t kBorrowedLevels = 4;
using LevelSymbols = std::array<xkb_keysym_t, kBorrowedLevels>;
// NoSymbol on every level is an empty keycode.
using KeycodeSymbols = std::map<std::uint8_t, LevelSymbols>;

// One key press that types a keysym.
struct KeyStroke {
    std::uint8_t keycode = 0;    // X keycodes are 8..255
    std::uint32_t modifiers = 0; // the real X modifiers (xcb_mod_mask_t bits) to hold, and no others
    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// Which key types what in one group of a keyboard map, worked out once so that
// typing needs no keymap queries. Plans assume Caps Lock is off while typing;
// they hold whether NumLock is on or off. Every stroke was checked by feeding its
// modifiers to an xkb_state, the same translation the receiving client does.
class KeymapIndex {
public:
    // Reads the keymap only during construction; it need not outlive the index.
    // Keycodes in `ignored` (lent by a live run, their symbols borrowed) are
    // neither used nor spare.
    KeymapIndex(xkb_keymap* keymap, xkb_layout_index_t activeGroup, const std::vector<std::uint8_t>& ignored = {});

    // The key producing exactly this keysym (dead keys stay dead keys). Only keys
    // that need nothing beyond Shift, Level3 and Level5 are used: Control or Alt
    // would turn the key into a shortcut, and a lock cannot be held. Preferred:
    // no modifiers, then the lower shift level, then the lower keycode.
    // nullopt: the active group has no such key; map the keysym to a spare keycode.
    std::optional<KeyStroke> find(xkb_keysym_t keysym) const;

    // Like find(), for any keysym that stands for this character: layouts may
    // spell one character as a legacy keysym or as its Unicode keysym. Keypad
    // keysyms do not count. Tab and other control characters give their key.
    // Throws std::invalid_argument for line breaks and non-characters.
    std::optional<KeyStroke> findCharacter(char32_t character) const;

    // Keycodes with no symbol in any group: the only ones free to borrow for
    // missing keysyms. One with a symbol, even a media or power key's, is
    // never borrowed: applications and daemons act on the keycode itself.
    const std::vector<std::uint8_t>& spareKeycodes() const { return spareKeycodes_; }

    // The keys to hold so that exactly these modifiers are set, e.g. Shift_L and
    // ISO_Level3_Shift for Shift|Mod5. Works for every stroke this index returns;
    // throws std::invalid_argument for a combination no key of the map sets.
    std::vector<std::uint8_t> keycodesToHold(std::uint32_t modifiers) const;
    // Whether some keys of the map set exactly these modifiers.
    bool canHold(std::uint32_t modifiers) const { return holdersFor(modifiers).has_value(); }

    // Real modifier masks. Shift, Lock and Control are fixed; Alt, Level3 and
    // NumLock are what Alt_L, ISO_Level3_Shift and Num_Lock set in this group
    // (usually Mod1, Mod5, Mod2), or 0 when the map has no such key.
    std::uint32_t shiftMask() const { return shiftMask_; }
    std::uint32_t controlMask() const { return controlMask_; }
    std::uint32_t capsLockMask() const { return capsLockMask_; }
    std::uint32_t altMask() const { return altMask_; }
    std::uint32_t levelThreeMask() const { return levelThreeMask_; }
    std::uint32_t numLockMask() const { return numLockMask_; }

private:
    struct Planned {
        KeyStroke stroke;
        xkb_level_index_t level = 0;
        auto rank() const; // lower is better
    };

    void indexKey(xkb_keymap* keymap, xkb_state* state, xkb_keycode_t keycode);
    std::optional<Planned> planLevel(xkb_keymap* keymap, xkb_state* state, xkb_keycode_t keycode,
                                     xkb_layout_index_t layout, xkb_level_index_t level,
                                     xkb_keysym_t keysym) const;
    std::optional<std::vector<std::uint8_t>> holdersFor(std::uint32_t modifiers) const;
    template <typename Key>
    static void keepBetter(std::unordered_map<Key, Planned>& plans, Key key, const Planned& plan);

    std::unordered_map<xkb_keysym_t, Planned> byKeysym_;
    std::unordered_map<char32_t, Planned> byCharacter_;
    std::vector<std::uint8_t> spareKeycodes_;
    std::vector<KeyStroke> modifierKeys_; // a key and the modifiers pressing it sets
    xkb_layout_index_t group_ = 0;
    std::uint32_t shiftMask_ = 0;
    std::uint32_t controlMask_ = 0;
    std::uint32_t capsLockMask_ = 0;
    std::uint32_t altMask_ = 0;
    std::uint32_t levelThreeMask_ = 0;
    std::uint32_t numLockMask_ = 0;
};

// The keysym a character is typed as: '\t' is Tab; throws std::invalid_argument
// for '\n' and '\r' (Enter is a key of its own) and for code points without a
// keysym (surrogates, non-characters).
xkb_keysym_t keysymForCharacter(char32_t character);

xkb_keysym_t keysymOf(keys::NamedKey key);
xkb_keysym_t keysymOf(keys::Modifier modifier);

} // namespace qmpvx::x11
