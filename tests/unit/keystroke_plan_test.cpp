// The fuzzer (fuzz/keystroke_plan_fuzz.cpp) types plans for us, de, fr and ru
// on a recording keyboard: every key types its character on the level
// planned, the text's modifiers are held for its keys, only spare keycodes
// are lent, no key goes down twice and every key is let go. These cases check
// what it cannot see: which key the index picks where a layout offers a
// choice, how loans are shared out, when a segment must start, and loans left
// by an earlier send.
#include "Keymaps.h"
#include "platform/x11/KeystrokePlan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <ranges>
#include <set>

namespace qmpvx::x11 {

void PrintTo(const KeyStroke& stroke, std::ostream* out)
{
    *out << "{keycode " << int{stroke.keycode} << ", modifiers 0x" << std::hex << stroke.modifiers << std::dec << "}";
}

namespace {

using keys::NamedKey;
using keys::parseKeyNotation;
using ::testing::ElementsAre;

constexpr std::uint8_t kShiftL = 50, kKeyA = 38;
constexpr xkb_keysym_t kNone = XKB_KEY_NoSymbol;

// Empty keycodes of a standard PC keyboard map, as the program finds them.
std::vector<BorrowableKeycode> emptyKeycodes(const KeymapIndex& layout, std::size_t count)
{
    std::vector<BorrowableKeycode> free;
    for (const std::uint8_t keycode : layout.spareKeycodes() | std::views::take(count))
        free.push_back({keycode, {kNone, kNone, kNone, kNone}, {}});
    return free;
}

std::vector<KeyEvent> tap(std::uint8_t keycode) { return {{keycode, true}, {keycode, false}}; }

class KeystrokePlanOnUs : public ::testing::Test {
protected:
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout{us.get(), 0};
};

TEST_F(KeystrokePlanOnUs, MissingCharactersFillTheLevelsOfEmptyKeycodesOnlyAllLentBeforeTheFirstKey)
{
    const std::vector<BorrowableKeycode> free = emptyKeycodes(layout, 2);
    const KeystrokePlan plan = planKeystrokes(parseKeyNotation("ä日äa😀ß"), layout, free);
    ASSERT_EQ(plan.segments.size(), 1u);
    const Segment& segment = plan.segments[0];
    EXPECT_TRUE(segment.replaced.empty());
    // A character alone on a keycode is on both its plain and Shift level,
    // until another takes the Shift level.
    const std::uint8_t first = free[0].keycode, second = free[1].keycode;
    EXPECT_EQ(segment.lend, (KeycodeSymbols{{first, {XKB_KEY_adiaeresis, 0x1000000u + 0x1F600, kNone, kNone}},
                                            {second, {0x1000000u + 0x65E5, XKB_KEY_ssharp, kNone, kNone}}}));
    EXPECT_EQ(segment.steps[2].events, tap(first)); // the same character, the same key
    // Layout keys are typed as themselves; media keys keep their meaning.
    EXPECT_THAT(plan.keycodes(), ::testing::UnorderedElementsAre(first, kKeyA, kShiftL, second));
}

TEST_F(KeystrokePlanOnUs, MoreCharactersThanSlotsReplaceTheSymbolNeededFurthestAheadInANewSegment)
{
    // Eight slots: the ninth character replaces one not needed again, so
    // the first one, typed again after it, still has its own.
    const KeystrokePlan plan = planKeystrokes(parseKeyNotation("äöüßéèàçñä"), layout, emptyKeycodes(layout, 2));
    ASSERT_EQ(plan.segments.size(), 2u);
    EXPECT_EQ(plan.segments[0].steps.size(), 8u);
    EXPECT_TRUE(plan.segments[0].replaced.empty());
    EXPECT_EQ(plan.segments[1].replaced.size(), 1u);
    EXPECT_EQ(plan.segments[1].steps.back().borrowed, plan.segments[0].steps.front().borrowed);
}

TEST_F(KeystrokePlanOnUs, AsFewSegmentsAsTheSlotsAllow)
{
    // A segment ends only when it has typed through every slot and needs
    // one more character: the fewest segments any plan could have.
    for (const std::size_t keycodes : {1u, 3u, 8u}) {
        std::mt19937 random(static_cast<unsigned>(keycodes));
        std::vector<keys::KeyAction> text;
        std::size_t bound = 1;
        std::set<char32_t> inSegment;
        for (int i = 0; i < 600; ++i) {
            const char32_t character = random() % 4 == 0 ? U'a' : U'\u0430' + random() % 32; // a, or Cyrillic
            text.push_back(keys::KeyAction::tap(character));
            if (character == U'a' || inSegment.contains(character))
                continue;
            if (inSegment.size() == 4 * keycodes) {
                ++bound;
                inSegment.clear();
            }
            inSegment.insert(character);
        }
        const KeystrokePlan plan = planKeystrokes(text, layout, emptyKeycodes(layout, keycodes));
        EXPECT_EQ(plan.segments.size(), bound) << keycodes << " keycodes";
    }
}

TEST_F(KeystrokePlanOnUs, LoansOfAnEarlierSendAreReusedAndReplacedOldestFirst)
{
    const std::uint8_t settled = 8, old = 93, recent = 97;
    const std::vector<BorrowableKeycode> lent{
        {settled, {XKB_KEY_eacute, XKB_KEY_egrave, XKB_KEY_agrave, XKB_KEY_igrave}, {0, 0, 0, 0}},
        {old, {XKB_KEY_adiaeresis, XKB_KEY_odiaeresis, XKB_KEY_udiaeresis, XKB_KEY_ssharp}, {100, 100, 100, 100}},
        {recent, {XKB_KEY_ntilde, XKB_KEY_ccedilla, XKB_KEY_oslash, XKB_KEY_aring}, {200, 200, 200, 200}},
    };
    // ñ is lent already: no change. Four new characters replace the settled
    // keycode's symbols without a wait; the fifth replaces one of the oldest
    // loan, whose keys must be read first.
    const KeystrokePlan plan = planKeystrokes(parseKeyNotation("ñæœþðł"), layout, lent);
    ASSERT_EQ(plan.segments.size(), 1u);
    const Segment& segment = plan.segments[0];
    EXPECT_EQ(segment.steps[0].events, tap(recent));
    EXPECT_EQ(segment.lend,
              (KeycodeSymbols{{settled, {XKB_KEY_ae, XKB_KEY_oe, XKB_KEY_thorn, XKB_KEY_eth}},
                              {old, {XKB_KEY_lstroke, XKB_KEY_odiaeresis, XKB_KEY_udiaeresis, XKB_KEY_ssharp}}}));
    EXPECT_THAT(segment.replaced, ElementsAre(Slot{old, 0}));
}

TEST_F(KeystrokePlanOnUs, KeycodesAnotherCopyHasLentAreNeitherTypedThroughNorSpare)
{
    const KeymapIndex without(us.get(), 0, {kKeyA, layout.spareKeycodes()[0]});
    EXPECT_FALSE(without.findCharacter(U'a'));
    EXPECT_EQ(without.spareKeycodes().size(), layout.spareKeycodes().size() - 1);
}

TEST(KeymapIndex, CharactersUseTheKeyAndLevelOfTheActiveGroup)
{
    constexpr std::uint32_t kShift = 0x01;
    struct Case {
        const char* layouts;
        xkb_layout_index_t group;
        char32_t character;
        std::optional<KeyStroke> stroke;
    };
    const Case cases[] = {
        {"us", 0, U'<', KeyStroke{94, 0}},      // the unshifted ISO key beats Shift+comma
        {"us", 0, U'*', KeyStroke{17, kShift}}, // keypad keysyms are not characters
        {"de", 0, U'^', std::nullopt},          // only a dead key, which would wait for a letter
        {"us,ru", 1, U'й', KeyStroke{24, 0}},
        {"us,ru", 1, U'q', std::nullopt},
        {"us,ru", 0, U'q', KeyStroke{24, 0}},
    };
    for (const Case& c : cases) {
        const XkbKeymap keymap = test::compileKeymap(c.layouts);
        EXPECT_EQ(KeymapIndex(keymap.get(), c.group).findCharacter(c.character), c.stroke)
            << c.layouts << " group " << c.group + 1 << ", U+" << std::hex << unsigned{c.character};
    }
}

TEST(KeymapIndex, EveryNamedKeyHasItsOwnKeysymFoundWithoutModifiersInEveryGroup)
{
    const XkbKeymap keymap = test::compileKeymap("us,ru");
    const KeymapIndex index(keymap.get(), 1); // these keys have one group only
    EXPECT_EQ(index.find(XKB_KEY_KP_1), std::nullopt); // would depend on NumLock
    // evdev puts XF86 keysyms on F13..F16 and has no Clear or plain Break.
    const std::set<NamedKey> missing = {NamedKey::Break, NamedKey::Clear, NamedKey::F13,
                                        NamedKey::F14,   NamedKey::F15,   NamedKey::F16};
    std::set<xkb_keysym_t> keysyms;
    for (std::size_t i = 0; i < keys::kNamedKeyCount; ++i) {
        const auto key = static_cast<NamedKey>(i);
        EXPECT_TRUE(keysyms.insert(keysymOf(key)).second) << keyName(key);
        const std::optional<KeyStroke> stroke = index.find(keysymOf(key));
        EXPECT_EQ(stroke.has_value(), !missing.contains(key)) << keyName(key);
        EXPECT_EQ(stroke ? stroke->modifiers : 0u, 0u) << keyName(key);
    }
}

} // namespace
} // namespace qmpvx::x11
