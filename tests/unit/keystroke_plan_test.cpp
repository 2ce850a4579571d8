#include "Keymaps.h"
#include "platform/x11/KeystrokePlan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace qmpvx::x11 {
namespace {

using keys::KeyAction;
using ::testing::ElementsAre;

std::vector<KeyAction> typed(std::u32string_view text)
{
    std::vector<KeyAction> actions;
    for (const char32_t c : text)
        actions.push_back(KeyAction::tap(c));
    return actions;
}

constexpr std::uint8_t kShiftL = 50, kControlL = 37, kLevel3 = 92, kKeyA = 38, kKeyB = 56, kKeyQ = 24;
constexpr xkb_keysym_t kNone = XKB_KEY_NoSymbol;

// Empty keycodes of a standard PC keyboard map, as the program finds them.
std::vector<BorrowableKeycode> emptyKeycodes(const KeymapIndex& layout, std::size_t count = 100)
{
    std::vector<BorrowableKeycode> free;
    for (const std::uint8_t keycode : layout.spareKeycodes()) {
        if (free.size() < count)
            free.push_back({keycode, {kNone, kNone}, {}});
    }
    return free;
}

std::vector<KeyEvent> tap(std::uint8_t keycode) { return {{keycode, true}, {keycode, false}}; }
std::vector<KeyEvent> shifted(std::uint8_t keycode)
{
    return {{kShiftL, true}, {keycode, true}, {keycode, false}, {kShiftL, false}};
}

// The keysym each borrowed tap types, read back through the plan's own lends.
std::vector<xkb_keysym_t> borrowedKeysyms(const KeystrokePlan& plan, std::vector<BorrowableKeycode> start)
{
    KeycodeSymbols mapping;
    for (const BorrowableKeycode& keycode : start)
        mapping[keycode.keycode] = keycode.keysyms;
    std::vector<xkb_keysym_t> typed;
    for (const Segment& segment : plan.segments) {
        for (const auto& [keycode, keysyms] : segment.lend)
            mapping[keycode] = keysyms;
        for (const Step& step : segment.steps) {
            if (step.borrowed)
                typed.push_back(mapping.at(step.borrowed->keycode)[step.borrowed->level]);
        }
    }
    return typed;
}

TEST(KeystrokePlan, LayoutKeysCarryTheModifiersOfTheirLevelUnlessTheTextHoldsThem)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex usLayout(us.get(), 0);
    const KeystrokePlan plan = planKeystrokes(typed(U"aA"), usLayout, {});
    ASSERT_EQ(plan.segments.size(), 1u);
    EXPECT_TRUE(plan.segments[0].lend.empty());
    ASSERT_EQ(plan.segments[0].steps.size(), 2u);
    EXPECT_EQ(plan.segments[0].steps[0].events, tap(kKeyA));
    EXPECT_EQ(plan.segments[0].steps[1].events, shifted(kKeyA));
    EXPECT_EQ(plan.taps, 2u);

    const XkbKeymap de = test::compileKeymap("de");
    const KeymapIndex deLayout(de.get(), 0);
    EXPECT_THAT(planKeystrokes(typed(U"@"), deLayout, {}).segments[0].steps[0].events,
                ElementsAre(KeyEvent{kLevel3, true}, KeyEvent{kKeyQ, true}, KeyEvent{kKeyQ, false},
                            KeyEvent{kLevel3, false}));

    // A Shift the text holds is neither pressed again nor let go by a capital.
    const KeystrokePlan held = planKeystrokes(keys::parseKeyNotation("^a+(Ab)"), usLayout, {});
    const auto& steps = held.segments[0].steps;
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(steps[0].events, (std::vector<KeyEvent>{{kControlL, true}}));
    EXPECT_EQ(steps[1].events, tap(kKeyA));
    EXPECT_EQ(steps[2].events, (std::vector<KeyEvent>{{kControlL, false}}));
    EXPECT_EQ(steps[3].events, (std::vector<KeyEvent>{{kShiftL, true}}));
    EXPECT_EQ(steps[4].events, tap(kKeyA));
    EXPECT_EQ(steps[5].events, tap(kKeyB));
    EXPECT_EQ(steps[6].events, (std::vector<KeyEvent>{{kShiftL, false}}));
}

TEST(KeystrokePlan, MissingCharactersFillTheLevelsOfEmptyKeycodesOnlyAllLentBeforeTheFirstKey)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout(us.get(), 0);
    const std::vector<BorrowableKeycode> free = emptyKeycodes(layout, 2);
    const KeystrokePlan plan = planKeystrokes(typed(U"ä日äa😀ß"), layout, free);
    ASSERT_EQ(plan.segments.size(), 1u);
    const Segment& segment = plan.segments[0];
    EXPECT_TRUE(segment.replaced.empty());
    // A character alone on a keycode is on both its plain and Shift level,
    // until another takes the Shift level.
    ASSERT_EQ(segment.lend.size(), 2u);
    const std::uint8_t first = free[0].keycode, second = free[1].keycode;
    EXPECT_THAT(segment.lend.at(first), ElementsAre(XKB_KEY_adiaeresis, 0x1000000u + 0x1F600, kNone, kNone));
    EXPECT_THAT(segment.lend.at(second), ElementsAre(0x1000000u + 0x65E5, XKB_KEY_ssharp, kNone, kNone));
    EXPECT_EQ(segment.steps[0].events, tap(first));
    EXPECT_EQ(segment.steps[2].events, tap(first));  // the same character, the same key
    EXPECT_EQ(segment.steps[3].events, tap(kKeyA));
    EXPECT_EQ(segment.steps[4].events, shifted(first));
    EXPECT_EQ(borrowedKeysyms(plan, free), (std::vector<xkb_keysym_t>{XKB_KEY_adiaeresis, 0x1000000u + 0x65E5,
                                                                    XKB_KEY_adiaeresis, 0x1000000u + 0x1F600,
                                                                    XKB_KEY_ssharp}));
    // Only empty keycodes are ever borrowed: media keys keep their meaning.
    EXPECT_THAT(plan.keycodes(), ::testing::UnorderedElementsAre(first, kKeyA, kShiftL, second));
}

TEST(KeystrokePlan, AKeycodeHoldsFourCharactersTheLastTwoThroughLevel3)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout(us.get(), 0);
    const std::vector<BorrowableKeycode> free = emptyKeycodes(layout, 1);
    const std::uint8_t keycode = free[0].keycode;
    const KeystrokePlan plan = planKeystrokes(typed(U"äöüß"), layout, free);
    ASSERT_EQ(plan.segments.size(), 1u);
    EXPECT_THAT(plan.segments[0].lend.at(keycode),
                ElementsAre(XKB_KEY_adiaeresis, XKB_KEY_odiaeresis, XKB_KEY_udiaeresis, XKB_KEY_ssharp));
    const auto& steps = plan.segments[0].steps;
    EXPECT_EQ(steps[0].events, tap(keycode));
    EXPECT_EQ(steps[1].events, shifted(keycode));
    EXPECT_THAT(steps[2].events, ElementsAre(KeyEvent{kLevel3, true}, KeyEvent{keycode, true},
                                             KeyEvent{keycode, false}, KeyEvent{kLevel3, false}));
    EXPECT_EQ(steps[3].events.size(), 6u);  // Shift and Level3 around it
}

TEST(KeystrokePlan, ACharacterTypedWithShiftHeldGoesToAShiftLevel)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout(us.get(), 0);
    const std::vector<BorrowableKeycode> free = emptyKeycodes(layout, 1);
    const std::uint8_t keycode = free[0].keycode;
    const KeystrokePlan plan = planKeystrokes(keys::parseKeyNotation("ä+(äö)ö"), layout, free);
    ASSERT_EQ(plan.segments.size(), 1u);
    // ä alone is on both levels, so held Shift types it too; ö under held
    // Shift can only go to a Shift level: Level3's, typed without Shift after.
    EXPECT_THAT(plan.segments[0].lend.at(keycode),
                ElementsAre(XKB_KEY_adiaeresis, XKB_KEY_adiaeresis, XKB_KEY_odiaeresis, XKB_KEY_odiaeresis));
    EXPECT_EQ(borrowedKeysyms(plan, free), (std::vector<xkb_keysym_t>{XKB_KEY_adiaeresis, XKB_KEY_adiaeresis,
                                                                    XKB_KEY_odiaeresis, XKB_KEY_odiaeresis}));
    const auto& steps = plan.segments[0].steps;
    EXPECT_EQ(steps[0].events, tap(keycode));
    EXPECT_EQ(steps[2].events, tap(keycode));  // inside the group: Shift is held already
    EXPECT_EQ(steps[2].borrowed, (Slot{keycode, 1}));
    EXPECT_EQ(steps[3].borrowed, (Slot{keycode, 3}));
    EXPECT_EQ(steps[5].borrowed, (Slot{keycode, 2}));
}

TEST(KeystrokePlan, MoreCharactersThanSlotsReplaceTheLeastRecentlyTypedInANewSegment)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout(us.get(), 0);
    const std::vector<BorrowableKeycode> free = emptyKeycodes(layout, 2);
    // Eight slots: the ninth character, and the first one again after it,
    // replace the slots typed through longest ago.
    const std::u32string text = U"äöüßéèàçñä";
    const KeystrokePlan plan = planKeystrokes(typed(text), layout, free);
    ASSERT_EQ(plan.segments.size(), 2u);
    EXPECT_EQ(plan.segments[0].steps.size(), 8u);
    EXPECT_TRUE(plan.segments[0].replaced.empty());
    EXPECT_EQ(plan.segments[1].replaced.size(), 2u);
    std::vector<xkb_keysym_t> expected;
    for (const char32_t c : text)
        expected.push_back(keysymForCharacter(c));
    EXPECT_EQ(borrowedKeysyms(plan, free), expected);
    EXPECT_EQ(plan.taps, text.size());
}

TEST(KeystrokePlan, LoansOfAnEarlierSendAreReusedAndReplacedOldestFirst)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout(us.get(), 0);
    const std::uint8_t settled = 8, old = 93, recent = 97;
    const std::vector<BorrowableKeycode> lent{
        {settled, {XKB_KEY_eacute, XKB_KEY_egrave, XKB_KEY_agrave, XKB_KEY_igrave}, {0, 0, 0, 0}},
        {old, {XKB_KEY_adiaeresis, XKB_KEY_odiaeresis, XKB_KEY_udiaeresis, XKB_KEY_ssharp}, {100, 100, 100, 100}},
        {recent, {XKB_KEY_ntilde, XKB_KEY_ccedilla, XKB_KEY_oslash, XKB_KEY_aring}, {200, 200, 200, 200}},
    };
    // ñ is lent already: no change. Four new characters replace the settled
    // keycode's symbols without a wait; the fifth replaces one of the oldest
    // loan, whose keys must be read first.
    const KeystrokePlan plan = planKeystrokes(typed(U"ñæœþðł"), layout, lent);
    ASSERT_EQ(plan.segments.size(), 1u);
    const Segment& segment = plan.segments[0];
    EXPECT_EQ(segment.steps[0].events, tap(recent));
    EXPECT_EQ(segment.lend.size(), 2u);
    EXPECT_THAT(segment.lend.at(settled), ElementsAre(XKB_KEY_ae, XKB_KEY_oe, XKB_KEY_thorn, XKB_KEY_eth));
    EXPECT_THAT(segment.lend.at(old),
                ElementsAre(XKB_KEY_lstroke, XKB_KEY_odiaeresis, XKB_KEY_udiaeresis, XKB_KEY_ssharp));
    EXPECT_THAT(segment.replaced, ElementsAre(Slot{old, 0}));
    EXPECT_EQ(borrowedKeysyms(plan, lent), (std::vector<xkb_keysym_t>{XKB_KEY_ntilde, XKB_KEY_ae, XKB_KEY_oe,
                                                                     XKB_KEY_thorn, XKB_KEY_eth, XKB_KEY_lstroke}));
}

TEST(KeystrokePlan, NamedKeysWithoutAKeyTakeAWholeKeycodeAndNothingFreeIsAnError)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeymapIndex layout(us.get(), 0);
    const std::vector<BorrowableKeycode> free = emptyKeycodes(layout, 1);
    const KeystrokePlan plan =
        planKeystrokes({KeyAction::tap(keys::NamedKey::Enter), KeyAction::tap(keys::NamedKey::F13)}, layout, free);
    EXPECT_THAT(plan.segments[0].lend.at(free[0].keycode), ElementsAre(XKB_KEY_F13, XKB_KEY_F13, kNone, kNone));

    EXPECT_THROW(planKeystrokes(typed(U"日"), layout, {}), std::runtime_error);
    // Keycodes another copy has lent are neither typed through nor spare.
    const KeymapIndex without(us.get(), 0, {kKeyA, layout.spareKeycodes()[0]});
    EXPECT_FALSE(without.findCharacter(U'a'));
    EXPECT_EQ(without.spareKeycodes().size(), layout.spareKeycodes().size() - 1);
}

} // namespace
} // namespace qmpvx::x11
