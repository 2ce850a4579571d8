#include "Keymaps.h"
#include "platform/x11/KeystrokePlan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>


namespace qmpvx::x11 {
namespace {

using keys::KeyAction;
using keys::Modifier;

std::vector<KeyAction> typed(std::u32string_view text)
{
    std::vector<KeyAction> actions;
    for (const char32_t c : text)
        actions.push_back(KeyAction::tap(c));
    return actions;
}

constexpr std::uint8_t kShiftL = 50, kLevel3 = 92, kKeyA = 38, kKeyQ = 24;

TEST(KeystrokePlan, LayoutKeysCarryTheModifiersOfTheirLevel)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeystrokePlan plan = planKeystrokes(typed(U"aA"), us.get(), 0);
    ASSERT_EQ(plan.segments.size(), 1u);
    EXPECT_TRUE(plan.segments[0].loans.empty());
    ASSERT_EQ(plan.segments[0].steps.size(), 2u);
    EXPECT_THAT(plan.segments[0].steps[0].events, ::testing::ElementsAre(KeyEvent{kKeyA, true}, KeyEvent{kKeyA, false}));
    EXPECT_THAT(plan.segments[0].steps[1].events,
                ::testing::ElementsAre(KeyEvent{kShiftL, true}, KeyEvent{kKeyA, true}, KeyEvent{kKeyA, false},
                                       KeyEvent{kShiftL, false}));
    EXPECT_EQ(plan.taps, 2u);

    const XkbKeymap de = test::compileKeymap("de");
    const KeystrokePlan at = planKeystrokes(typed(U"@"), de.get(), 0);
    EXPECT_THAT(at.segments[0].steps[0].events,
                ::testing::ElementsAre(KeyEvent{kLevel3, true}, KeyEvent{kKeyQ, true}, KeyEvent{kKeyQ, false},
                                       KeyEvent{kLevel3, false}));
}

TEST(KeystrokePlan, HeldModifiersWrapTheirUnitAsSeparateSteps)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeystrokePlan plan = planKeystrokes(keys::parseKeyNotation("^a"), us.get(), 0);
    ASSERT_EQ(plan.segments[0].steps.size(), 3u);
    EXPECT_FALSE(plan.segments[0].steps[0].isTap);
    EXPECT_EQ(plan.segments[0].steps[0].events, (std::vector<KeyEvent>{{37, true}}));
    EXPECT_TRUE(plan.segments[0].steps[1].isTap);
    EXPECT_EQ(plan.segments[0].steps[2].events, (std::vector<KeyEvent>{{37, false}}));
    EXPECT_EQ(plan.taps, 1u);
}

TEST(KeystrokePlan, MissingCharactersShareOneLoanPerSegment)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeystrokePlan plan = planKeystrokes(typed(U"ä日ä😀"), us.get(), 0);
    ASSERT_EQ(plan.segments.size(), 1u);
    const auto& loans = plan.segments[0].loans;
    ASSERT_EQ(loans.size(), 3u);
    EXPECT_EQ(loans[0].second, XKB_KEY_adiaeresis);
    EXPECT_EQ(loans[2].second, 0x1000000u + 0x1F600u);  // a Unicode keysym
    // The same character reuses its keycode; no modifiers are held for loans.
    EXPECT_EQ(plan.segments[0].steps[0].events, plan.segments[0].steps[2].events);
    EXPECT_EQ(plan.segments[0].steps[1].events.size(), 2u);
}

TEST(KeystrokePlan, NamedKeysWithoutAKeyAreBorrowedToo)
{
    const XkbKeymap us = test::compileKeymap("us");
    const KeystrokePlan plan =
        planKeystrokes({KeyAction::tap(keys::NamedKey::Enter), KeyAction::tap(keys::NamedKey::F13)}, us.get(), 0);
    EXPECT_EQ(plan.segments[0].loans.size(), 1u);
    EXPECT_EQ(plan.segments[0].loans[0].second, XKB_KEY_F13);
}

} // namespace
} // namespace qmpvx::x11
