#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qmpvx::x11;
using qmpvx::keys::Modifier;
using qmpvx::keys::NamedKey;

namespace qmpvx::x11 {
void PrintTo(const KeyStroke& stroke, std::ostream* out)
{
    char text[48];
    std::snprintf(text, sizeof text, "{keycode %u, modifiers 0x%02X}", stroke.keycode, stroke.modifiers);
    *out << text;
}
} // namespace qmpvx::x11

namespace {

constexpr std::uint32_t kShift = 0x01;
constexpr std::uint32_t kMod5 = 0x80;

// Keyboard maps as the X server compiles them for a PC keyboard; needs xkb-data.
XkbKeymap compileKeymap(const char* layouts)
{
    static const XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{.rules = "evdev", .model = "pc105", .layout = layouts, .variant = nullptr,
                               .options = nullptr};
    XkbKeymap keymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw std::runtime_error(std::string("cannot compile the keymap for layout ") + layouts +
                                 " (is xkb-data installed?)");
    return keymap;
}

struct Layout {
    const char* names; // comma-separated, one per group
    xkb_layout_index_t group;
};
constexpr Layout kUs{"us", 0};
constexpr Layout kDe{"de", 0};
constexpr Layout kFr{"fr", 0};
constexpr Layout kUsRuLatin{"us,ru", 0};
constexpr Layout kUsRuCyrillic{"us,ru", 1};

std::string codePoint(char32_t c)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

struct Expected {
    Layout layout;
    char32_t character;
    std::optional<KeyStroke> stroke;
};

void expectPlans(std::initializer_list<Expected> cases)
{
    for (const Expected& c : cases) {
        const XkbKeymap keymap = compileKeymap(c.layout.names);
        const KeymapIndex index(keymap.get(), c.layout.group);
        EXPECT_EQ(index.findCharacter(c.character), c.stroke)
            << c.layout.names << " group " << c.layout.group + 1 << ", " << codePoint(c.character);
    }
}

// What a client reads when the planned modifier keys are held and the key is
// pressed, optionally with NumLock switched on first: the independent check.
xkb_keysym_t pressed(xkb_keymap* keymap, const KeymapIndex& index, Layout layout, KeyStroke stroke,
                     bool numLock)
{
    const XkbState state(xkb_state_new(keymap));
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout.group);
    if (numLock) {
        const auto numLockKey = index.find(XKB_KEY_Num_Lock);
        if (!numLockKey)
            return XKB_KEY_NoSymbol;
        xkb_state_update_key(state.get(), numLockKey->keycode, XKB_KEY_DOWN);
        xkb_state_update_key(state.get(), numLockKey->keycode, XKB_KEY_UP);
    }
    for (const std::uint8_t holder : index.keycodesToHold(stroke.modifiers))
        xkb_state_update_key(state.get(), holder, XKB_KEY_DOWN);
    return xkb_state_key_get_one_sym(state.get(), stroke.keycode);
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

std::string keysymName(xkb_keysym_t keysym)
{
    std::array<char, 64> name{};
    xkb_keysym_get_name(keysym, name.data(), name.size());
    return name.data();
}

} // namespace

TEST(KeyPlanCharacters, UseTheKeyAndLevelOfTheActiveGroup)
{
    expectPlans({
        {kUs, U'a', KeyStroke{38, 0}},
        {kUs, U'A', KeyStroke{38, kShift}},
        {kUs, U'1', KeyStroke{10, 0}},
        {kUs, U'!', KeyStroke{10, kShift}},
        {kUs, U' ', KeyStroke{65, 0}},
        {kUs, U'^', KeyStroke{15, kShift}},
        {kDe, U'ß', KeyStroke{20, 0}},
        {kDe, U'ä', KeyStroke{48, 0}},
        {kDe, U'ö', KeyStroke{47, 0}},
        {kDe, U'ü', KeyStroke{34, 0}},
        {kDe, U'Ä', KeyStroke{48, kShift}},
        {kDe, U'z', KeyStroke{29, 0}},
        {kDe, U'@', KeyStroke{24, kMod5}},
        {kDe, U'€', KeyStroke{26, kMod5}},
        {kDe, U'~', KeyStroke{35, kMod5}},
        {kFr, U'a', KeyStroke{24, 0}},
        {kFr, U'q', KeyStroke{38, 0}},
        {kFr, U'1', KeyStroke{10, kShift}},
        {kFr, U'é', KeyStroke{11, 0}},
        {kFr, U'^', KeyStroke{18, kMod5}},
        {kUsRuCyrillic, U'й', KeyStroke{24, 0}},
        {kUsRuCyrillic, U'Й', KeyStroke{24, kShift}},
        {kUsRuCyrillic, U'ё', KeyStroke{49, 0}},
        {kUsRuCyrillic, U',', KeyStroke{61, kShift}},
        {kUsRuCyrillic, U'1', KeyStroke{10, 0}},
        {kUsRuLatin, U'q', KeyStroke{24, 0}},
    });
}

TEST(KeyPlanCharacters, ThoseOutsideTheActiveGroupAreMissing)
{
    expectPlans({
        {kUsRuCyrillic, U'q', std::nullopt},
        {kUsRuCyrillic, U'Q', std::nullopt},
        {kUsRuLatin, U'й', std::nullopt},
        {kUs, U'ä', std::nullopt},
        {kUs, U'日', std::nullopt},
        {kUs, U'\U0001F600', std::nullopt},
        {kDe, U'日', std::nullopt},
        {kDe, U'\U0001F600', std::nullopt},
    });
}

TEST(KeyPlanCharacters, DeadKeysDoNotTypeTheirCharacter)
{
    // de has '^' only as dead_circumflex (unshifted left of 1, and AltGr+Ä).
    expectPlans({
        {kDe, U'^', std::nullopt},
        {kDe, U'`', std::nullopt},
        {kDe, U'´', std::nullopt},
    });
    const XkbKeymap keymap = compileKeymap("de");
    EXPECT_EQ(KeymapIndex(keymap.get(), 0).find(XKB_KEY_dead_circumflex), (KeyStroke{49, 0}));
}

TEST(KeyPlanCharacters, UnicodeKeysymsOfTheLayoutCount)
{
    // de spells the prime as U2032, while the canonical keysym of U+2032 is "minutes".
    ASSERT_EQ(keysymForCharacter(U'′'), static_cast<xkb_keysym_t>(XKB_KEY_minutes));
    expectPlans({
        {kDe, U'′', KeyStroke{49, kMod5}},
        {kDe, U'″', KeyStroke{49, kShift | kMod5}},
    });
}

TEST(KeyPlanCharacters, PreferNoModifiersThenTheLowerLevel)
{
    expectPlans({
        {kUs, U'<', KeyStroke{94, 0}},      // the ISO key beside left Shift, not Shift+comma
        {kDe, U',', KeyStroke{59, 0}},      // not the keypad's Shift+KP_Separator key
        {kUs, U'*', KeyStroke{17, kShift}}, // keypad keysyms are not characters
        {kUs, U'+', KeyStroke{21, kShift}},
        {kDe, U'7', KeyStroke{16, 0}},
    });
}

TEST(KeyPlanCharacters, ControlCharactersAreTheirKeys)
{
    expectPlans({
        {kUs, U'\t', KeyStroke{23, 0}},
        {kUs, U'\b', KeyStroke{22, 0}},
        {kUs, U'\x1B', KeyStroke{9, 0}},
    });
}

TEST(KeyPlanCharacters, LineBreaksAndNonCharactersAreRefused)
{
    const XkbKeymap keymap = compileKeymap("us");
    const KeymapIndex index(keymap.get(), 0);
    // Line breaks, both ends of the surrogates, a non-character, past Unicode.
    for (const char32_t c : std::initializer_list<char32_t>{U'\n', U'\r', 0xD800, 0xDFFF, 0xFFFE, 0x110000})
        EXPECT_THROW(index.findCharacter(c), std::invalid_argument) << codePoint(c);
}

TEST(KeyPlanCharacters, EveryPlanTypesItsCharacterWhateverNumLock)
{
    std::u32string text;
    for (char32_t c = 0x20; c < 0x7F; ++c)
        text += c;
    text += U"ßäöüÄÖÜ@€µ²³{}[]|éèàçùÉ§°йцукенЙЁёъЪ№";
    for (const Layout layout : {kUs, kDe, kFr, kUsRuLatin, kUsRuCyrillic}) {
        const XkbKeymap keymap = compileKeymap(layout.names);
        const KeymapIndex index(keymap.get(), layout.group);
        int planned = 0;
        for (const char32_t c : text) {
            const auto stroke = index.findCharacter(c);
            if (!stroke)
                continue;
            ++planned;
            for (const bool numLock : {false, true})
                EXPECT_EQ(xkb_keysym_to_utf32(pressed(keymap.get(), index, layout, *stroke, numLock)), c)
                    << layout.names << " group " << layout.group + 1 << ", " << codePoint(c)
                    << (numLock ? ", NumLock on" : "");
        }
        EXPECT_GE(planned, 40) << layout.names << " group " << layout.group + 1;
    }
}

TEST(KeyPlanGroups, KeysWithOneGroupServeEveryGroup)
{
    const XkbKeymap keymap = compileKeymap("us,ru");
    const KeymapIndex index(keymap.get(), 1);
    EXPECT_EQ(index.find(XKB_KEY_Return), (KeyStroke{36, 0}));
    EXPECT_EQ(index.find(XKB_KEY_F1), (KeyStroke{67, 0}));
    EXPECT_EQ(index.find(XKB_KEY_Shift_L), (KeyStroke{50, 0}));
    EXPECT_EQ(index.keycodesToHold(kShift), std::vector<std::uint8_t>{50});
}

TEST(KeyPlanKeypad, KeysThatDependOnNumLockAreNotUsed)
{
    const XkbKeymap keymap = compileKeymap("us");
    const KeymapIndex index(keymap.get(), 0);
    EXPECT_EQ(index.find(XKB_KEY_KP_1), std::nullopt);
    EXPECT_EQ(index.find(XKB_KEY_KP_End), std::nullopt);
    EXPECT_EQ(index.find(XKB_KEY_KP_Add), (KeyStroke{86, 0}));
}

TEST(KeyPlanNamedKeys, FoundInTheEvdevKeymap)
{
    const XkbKeymap keymap = compileKeymap("us");
    const KeymapIndex index(keymap.get(), 0);
    // evdev has XF86 keysyms on F13..F16, no Clear (KP_Begin instead), and
    // Break only as Ctrl+Pause; these go to spare keycodes.
    const std::set<NamedKey> missing = {NamedKey::Break, NamedKey::Clear, NamedKey::F13,
                                        NamedKey::F14,   NamedKey::F15,   NamedKey::F16};
    for (std::size_t i = 0; i < qmpvx::keys::kNamedKeyCount; ++i) {
        const auto key = static_cast<NamedKey>(i);
        const auto stroke = index.find(keysymOf(key));
        EXPECT_EQ(stroke.has_value(), !missing.contains(key)) << keyName(key);
        if (stroke) {
            EXPECT_EQ(stroke->modifiers, 0u) << keyName(key);
        }
    }
    EXPECT_EQ(index.find(keysymOf(NamedKey::Enter)), (KeyStroke{36, 0}));
    EXPECT_EQ(index.find(keysymOf(NamedKey::F1)), (KeyStroke{67, 0}));
    EXPECT_EQ(index.find(keysymOf(NamedKey::F12)), (KeyStroke{96, 0}));
    EXPECT_EQ(index.find(keysymOf(NamedKey::PageDown)), (KeyStroke{117, 0}));
    EXPECT_EQ(index.find(keysymOf(Modifier::Shift)), (KeyStroke{50, 0}));
    EXPECT_EQ(index.find(keysymOf(Modifier::Ctrl)), (KeyStroke{37, 0}));
    EXPECT_EQ(index.find(keysymOf(Modifier::Alt)), (KeyStroke{64, 0}));
}

TEST(KeyPlanNamedKeys, EachNamesADistinctKeysym)
{
    std::set<xkb_keysym_t> seen;
    for (std::size_t i = 0; i < qmpvx::keys::kNamedKeyCount; ++i) {
        const auto key = static_cast<NamedKey>(i);
        EXPECT_TRUE(seen.insert(keysymOf(key)).second) << keyName(key);
        EXPECT_NE(keysymName(keysymOf(key)).find("0x"), 0u) << keyName(key);
    }
    struct Case {
        NamedKey key;
        const char* keysym;
    };
    for (const Case& c : {Case{NamedKey::Enter, "Return"}, Case{NamedKey::PageDown, "Next"},
                          Case{NamedKey::PageUp, "Prior"}, Case{NamedKey::PrintScreen, "Print"},
                          Case{NamedKey::Backspace, "BackSpace"}, Case{NamedKey::F16, "F16"},
                          Case{NamedKey::KeypadSubtract, "KP_Subtract"}})
        EXPECT_EQ(keysymName(keysymOf(c.key)), c.keysym) << keyName(c.key);
}

TEST(KeyPlanSpareKeycodes, HaveNoSymbolsInAnyGroup)
{
    for (const char* layouts : {"us", "us,ru"}) {
        const XkbKeymap keymap = compileKeymap(layouts);
        const KeymapIndex index(keymap.get(), 0);
        EXPECT_GE(index.spareKeycodes().size(), 10u) << layouts;
        for (const std::uint8_t keycode : index.spareKeycodes()) {
            EXPECT_GE(keycode, 8) << layouts;
            EXPECT_FALSE(hasSymbols(keymap.get(), keycode)) << layouts << " keycode " << int{keycode};
        }
    }
}

TEST(KeyPlanModifiers, RealMasksComeFromTheModifierKeys)
{
    struct Case {
        Layout layout;
        std::uint32_t alt, levelThree, numLock;
    };
    for (const Case& c : {Case{kUs, 0x08, 0x80, 0x10}, Case{kDe, 0x08, 0x80, 0x10},
                          Case{kUsRuCyrillic, 0x08, 0x80, 0x10}}) {
        const XkbKeymap keymap = compileKeymap(c.layout.names);
        const KeymapIndex index(keymap.get(), c.layout.group);
        EXPECT_EQ(index.shiftMask(), 0x01u) << c.layout.names;
        EXPECT_EQ(index.capsLockMask(), 0x02u) << c.layout.names;
        EXPECT_EQ(index.controlMask(), 0x04u) << c.layout.names;
        EXPECT_EQ(index.altMask(), c.alt) << c.layout.names;
        EXPECT_EQ(index.levelThreeMask(), c.levelThree) << c.layout.names;
        EXPECT_EQ(index.numLockMask(), c.numLock) << c.layout.names;
    }
}

TEST(KeyPlanModifiers, HeldWithTheLevelShiftKeysOnly)
{
    const XkbKeymap keymap = compileKeymap("de");
    const KeymapIndex index(keymap.get(), 0);
    EXPECT_EQ(index.keycodesToHold(0), std::vector<std::uint8_t>{});
    EXPECT_EQ(index.keycodesToHold(kShift), std::vector<std::uint8_t>{50});
    EXPECT_EQ(index.keycodesToHold(kMod5), std::vector<std::uint8_t>{92});
    EXPECT_EQ(index.keycodesToHold(kShift | kMod5), (std::vector<std::uint8_t>{50, 92}));
    for (const std::uint32_t unheld : {0x02u, 0x04u, 0x08u, 0x10u, 0x0Cu, 0x100u})
        EXPECT_THROW(index.keycodesToHold(unheld), std::invalid_argument) << unheld;
}

TEST(KeyPlanConstruction, RefusesAMissingKeymapOrGroup)
{
    const XkbKeymap keymap = compileKeymap("us,ru");
    EXPECT_THROW(KeymapIndex(nullptr, 0), std::invalid_argument);
    EXPECT_THROW(KeymapIndex(keymap.get(), 2), std::invalid_argument);
    EXPECT_NO_THROW(KeymapIndex(keymap.get(), 1));
}

TEST(KeyPlanConstruction, OutlivesItsKeymap)
{
    XkbKeymap keymap = compileKeymap("de");
    const KeymapIndex index(keymap.get(), 0);
    keymap.reset();
    EXPECT_EQ(index.findCharacter(U'@'), (KeyStroke{24, kMod5}));
    EXPECT_FALSE(index.spareKeycodes().empty());
}
