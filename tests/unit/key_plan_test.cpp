#include "Keymaps.h"
#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qmpvx::x11;
using qmpvx::keys::NamedKey;

namespace qmpvx::x11 {
void PrintTo(const KeyStroke& stroke, std::ostream* out)
{
    *out << "{keycode " << int{stroke.keycode} << ", modifiers 0x" << std::hex << stroke.modifiers << std::dec << "}";
}
} // namespace qmpvx::x11

namespace {

constexpr std::uint32_t kShift = 0x01;
constexpr std::uint32_t kMod5 = 0x80;
using Holders = std::vector<std::uint8_t>;

using test::compileKeymap;

} // namespace

TEST(KeyPlan, CharactersUseTheKeyAndLevelOfTheActiveGroup)
{
    struct Case {
        const char* layouts;
        xkb_layout_index_t group;
        char32_t character;
        std::optional<KeyStroke> stroke;
    };
    const Case cases[] = {
        {"us", 0, U'a', KeyStroke{38, 0}},
        {"us", 0, U'A', KeyStroke{38, kShift}},
        {"us", 0, U'^', KeyStroke{15, kShift}},
        {"us", 0, U'<', KeyStroke{94, 0}},      // the unshifted ISO key beats Shift+comma
        {"us", 0, U'*', KeyStroke{17, kShift}}, // keypad keysyms are not characters
        {"de", 0, U'ß', KeyStroke{20, 0}},
        {"de", 0, U'Ä', KeyStroke{48, kShift}},
        {"de", 0, U'@', KeyStroke{24, kMod5}},
        {"de", 0, U'€', KeyStroke{26, kMod5}},
        {"de", 0, U'′', KeyStroke{49, kMod5}}, // spelled as a Unicode keysym, not "minutes"
        {"de", 0, U'^', std::nullopt},         // only a dead key, which would wait for a letter
        {"fr", 0, U'é', KeyStroke{11, 0}},
        {"fr", 0, U'1', KeyStroke{10, kShift}},
        {"us,ru", 1, U'й', KeyStroke{24, 0}},
        {"us,ru", 1, U'q', std::nullopt},
        {"us,ru", 0, U'q', KeyStroke{24, 0}},
        {"us", 0, U'日', std::nullopt},
        {"de", 0, U'\U0001F600', std::nullopt},
    };
    for (const Case& c : cases) {
        const XkbKeymap keymap = compileKeymap(c.layouts);
        EXPECT_EQ(KeymapIndex(keymap.get(), c.group).findCharacter(c.character), c.stroke)
            << c.layouts << " group " << c.group + 1 << ", U+" << std::hex << unsigned{c.character};
    }
}

TEST(KeyPlan, LineBreaksAndNonCharactersAreRefused)
{
    const XkbKeymap keymap = compileKeymap("us");
    const KeymapIndex index(keymap.get(), 0);
    for (const char32_t c : {U'\n', U'\r', char32_t{0xD800}, char32_t{0xFFFE}, char32_t{0x110000}})
        EXPECT_THROW(index.findCharacter(c), std::invalid_argument) << unsigned{c};
}

TEST(KeyPlan, NamedKeysAreFoundWithoutModifiersInEveryGroup)
{
    const XkbKeymap keymap = compileKeymap("us,ru");
    const KeymapIndex index(keymap.get(), 1); // these keys have one group only
    EXPECT_EQ(index.find(keysymOf(NamedKey::Enter)), (KeyStroke{36, 0}));
    EXPECT_EQ(index.find(keysymOf(NamedKey::F1)), (KeyStroke{67, 0}));
    EXPECT_EQ(index.find(keysymOf(NamedKey::PageDown)), (KeyStroke{117, 0}));
    EXPECT_EQ(index.find(keysymOf(qmpvx::keys::Modifier::Shift)), (KeyStroke{50, 0}));
    EXPECT_EQ(index.find(XKB_KEY_KP_1), std::nullopt); // would depend on NumLock
    // evdev puts XF86 keysyms on F13..F16 and has no Clear or plain Break.
    const std::set<NamedKey> missing = {NamedKey::Break, NamedKey::Clear, NamedKey::F13,
                                        NamedKey::F14,   NamedKey::F15,   NamedKey::F16};
    std::set<xkb_keysym_t> keysyms;
    for (std::size_t i = 0; i < qmpvx::keys::kNamedKeyCount; ++i) {
        const auto key = static_cast<NamedKey>(i);
        EXPECT_TRUE(keysyms.insert(keysymOf(key)).second) << keyName(key);
        EXPECT_EQ(index.find(keysymOf(key)).has_value(), !missing.contains(key)) << keyName(key);
    }
}

TEST(KeyPlan, DeadKeysAndLevelShiftKeysOfDe)
{
    const XkbKeymap keymap = compileKeymap("de");
    const KeymapIndex index(keymap.get(), 0);
    EXPECT_EQ(index.find(XKB_KEY_dead_circumflex), (KeyStroke{49, 0})); // found by keysym, still dead
    EXPECT_EQ(index.keycodesToHold(0), Holders{});
    EXPECT_EQ(index.keycodesToHold(kShift | kMod5), (Holders{50, 92}));
    for (const std::uint32_t unheld : {0x02u, 0x04u, 0x100u}) // a lock, Control, no modifier at all
        EXPECT_THROW(index.keycodesToHold(unheld), std::invalid_argument) << unheld;
}

