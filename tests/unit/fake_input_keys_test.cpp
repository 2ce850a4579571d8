#include "Keymaps.h"

#include "platform/keys/KeyNotation.h"
#include "platform/keys/Utf8.h"
#include "platform/wayland/FakeInputKeys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace qmpvx::wayland {
namespace {

using x11::test::compileKeymap;
using testing::HasSubstr;

// evdev codes from linux/input-event-codes.h
constexpr std::uint32_t kLeftShift = 42, kLeftCtrl = 29, kEnter = 28;

// What KWin makes of the events: each key pressed goes through one xkb state
// for the seat, as the keys of a physical keyboard do; the text of each press.
std::string typedText(const FakeInputPlan& plan, xkb_keymap* keymap)
{
    const x11::XkbState state(xkb_state_new(keymap));
    std::string text;
    for (const FakeInputStep& step : plan.steps) {
        for (const FakeKeyEvent& event : step.events) {
            const xkb_keycode_t keycode = event.evdevCode + 8;
            if (event.press) {
                char utf8[16] = {};
                xkb_state_key_get_utf8(state.get(), keycode, utf8, sizeof utf8);
                const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), keycode);
                if (keysym == XKB_KEY_Return)
                    text += "<Enter>";
                else if (keysym == XKB_KEY_Tab)
                    text += "<Tab>";
                else if (utf8[0] >= 0x20 || (utf8[0] & 0x80))
                    text += utf8;
            }
            xkb_state_update_key(state.get(), keycode, event.press ? XKB_KEY_DOWN : XKB_KEY_UP);
        }
    }
    return text;
}

// Every key pressed is released by the end of the plan.
bool allReleased(const FakeInputPlan& plan)
{
    std::multiset<std::uint32_t> down;
    for (const FakeInputStep& step : plan.steps) {
        for (const FakeKeyEvent& event : step.events) {
            if (event.press)
                down.insert(event.evdevCode);
            else if (const auto it = down.find(event.evdevCode); it != down.end())
                down.erase(it);
        }
    }
    return down.empty();
}

struct LayoutCase {
    const char* layout;
    const char* notation;
    const char* typed;
};

class FakeInputTyping : public testing::TestWithParam<LayoutCase> {};

TEST_P(FakeInputTyping, TypesTheTextWithTheLayoutsOwnKeys)
{
    const LayoutCase& c = GetParam();
    const x11::XkbKeymap keymap = compileKeymap(c.layout);
    const FakeInputPlan plan = planFakeInput(keys::parseKeyNotation(c.notation), keymap.get());
    EXPECT_EQ(typedText(plan, keymap.get()), c.typed);
    EXPECT_TRUE(allReleased(plan));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FakeInputTyping,
    testing::Values(LayoutCase{"us", "Hello, World! 123 ~", "Hello, World! 123 <Enter>"},
                    LayoutCase{"us", "{TAB}a\tb{~}{+}{{}", "<Tab>a<Tab>b~+{"},
                    LayoutCase{"us", "+(abc)d", "ABCd"},
                    LayoutCase{"us", "`{~}!@#${%}{^}&*{(}{)}_{+}-=[]{{}{}}\\|;':\",./<>?", "`~!@#$%^&*()_+-=[]{}\\|;':\",./<>?"},
                    LayoutCase{"de", "zy @ € ß Äö µ {{}|{}}~", "zy @ € ß Äö µ {|}<Enter>"},
                    LayoutCase{"de", "+(ß)", "?"},
                    LayoutCase{"fr", "azerty 1&é\"'{(}", "azerty 1&é\"'("},
                    LayoutCase{"ru", "привет", "привет"}),
    [](const auto& info) { return std::string(info.param.layout) + std::to_string(info.index); });

TEST(FakeInputKeys, LevelsComeFromModifierKeysPressedAroundTheKey)
{
    const x11::XkbKeymap de = compileKeymap("de");
    const FakeInputPlan plan = planFakeInput(keys::parseKeyNotation("A@~"), de.get());
    ASSERT_EQ(plan.steps.size(), 3U);
    EXPECT_EQ(plan.taps, 3U);
    EXPECT_EQ(plan.steps[0].events, (std::vector<FakeKeyEvent>{
                                        {kLeftShift, true}, {30, true}, {30, false}, {kLeftShift, false}}));
    // Q carries @ on its third level, reached through a key of the layout
    // that holds ISO_Level3_Shift (AltGr, or the layout's own Level3 key).
    ASSERT_EQ(plan.steps[1].events.size(), 4U);
    const std::uint32_t levelThree = plan.steps[1].events[0].evdevCode;
    EXPECT_EQ(plan.steps[1].events, (std::vector<FakeKeyEvent>{
                                        {levelThree, true}, {16, true}, {16, false}, {levelThree, false}}));
    const x11::XkbState state(xkb_state_new(de.get()));
    EXPECT_EQ(xkb_state_key_get_one_sym(state.get(), levelThree + 8), XKB_KEY_ISO_Level3_Shift);
    EXPECT_EQ(plan.steps[2].events, (std::vector<FakeKeyEvent>{{kEnter, true}, {kEnter, false}}));
}

TEST(FakeInputKeys, TheNotationsModifiersArePressedAsKeysAndNotPressedTwice)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const FakeInputPlan plan = planFakeInput(keys::parseKeyNotation("^c+A"), us.get());
    ASSERT_EQ(plan.steps.size(), 6U);
    EXPECT_EQ(plan.taps, 2U);
    EXPECT_FALSE(plan.steps[0].isTap);
    EXPECT_EQ(plan.steps[0].events, (std::vector<FakeKeyEvent>{{kLeftCtrl, true}}));
    EXPECT_EQ(plan.steps[1].events, (std::vector<FakeKeyEvent>{{46, true}, {46, false}}));
    EXPECT_EQ(plan.steps[2].events, (std::vector<FakeKeyEvent>{{kLeftCtrl, false}}));
    EXPECT_EQ(plan.steps[3].events, (std::vector<FakeKeyEvent>{{kLeftShift, true}}));
    // The capital needs Shift, which the text holds already.
    EXPECT_EQ(plan.steps[4].events, (std::vector<FakeKeyEvent>{{30, true}, {30, false}}));
    EXPECT_EQ(plan.steps[5].events, (std::vector<FakeKeyEvent>{{kLeftShift, false}}));
}

TEST(FakeInputKeys, NamedKeysAreTheirEvdevCodes)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const FakeInputPlan plan =
        planFakeInput(keys::parseKeyNotation("{ENTER}{TAB}{F5}{LEFT}{UP}{BS}{DEL}{HOME}{ESC}{PGDN}"), us.get());
    std::vector<std::uint32_t> codes;
    for (const FakeInputStep& step : plan.steps)
        codes.push_back(step.events.front().evdevCode);
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{28, 15, 63, 105, 103, 14, 111, 102, 1, 109}));
}

// The first character the layout lacks, with its position; nothing else is planned.
struct Refusal {
    const char* layout;
    const char* notation;
    const char* named;
};

class FakeInputRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(FakeInputRefusal, NamesTheFirstCharacterTheLayoutLacks)
{
    const Refusal& r = GetParam();
    const x11::XkbKeymap keymap = compileKeymap(r.layout);
    try {
        planFakeInput(keys::parseKeyNotation(r.notation), keymap.get());
        FAIL() << "planned " << r.notation;
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr(r.named));
        EXPECT_THAT(error.what(), HasSubstr("not on the keyboard layout"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FakeInputRefusal,
    testing::Values(Refusal{"us", "ab日本", "\"日\" (U+65E5) at character 3"},
                    Refusal{"us", "{€ 3}x", "\"€\" (U+20AC) at character 2"},
                    Refusal{"us", "Grüße", "\"ü\" (U+00FC) at character 3"},
                    Refusal{"de", "ok 😀", "\"😀\" (U+1F600) at character 4"},
                    Refusal{"ru", "abc", "\"a\" (U+0061) at character 1"}),
    [](const auto& info) { return std::string(info.param.layout) + std::to_string(info.index); });

} // namespace
} // namespace qmpvx::wayland
