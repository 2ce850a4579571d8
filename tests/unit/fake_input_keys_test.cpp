#include "Keymaps.h"

#include "platform/keys/KeyNotation.h"
#include "platform/wayland/FakeInputKeys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

namespace qmpvx::wayland {
namespace {

using x11::test::compileKeymap;
using testing::HasSubstr;

// What KWin makes of the events: each key goes through one xkb state for the
// seat, as the keys of a physical keyboard do. Each press of a key that is no
// modifier writes its character (after "^" under Ctrl) or <its keysym name>;
// a key pressed while down, released while up or left down is written too.
std::string typedText(const FakeInputPlan& plan, xkb_keymap* keymap)
{
    const x11::XkbState state(xkb_state_new(keymap));
    std::set<std::uint32_t> down;
    std::string text;
    for (const FakeInputStep& step : plan.steps) {
        for (const FakeKeyEvent& event : step.events) {
            if (event.press ? !down.insert(event.evdevCode).second : down.erase(event.evdevCode) == 0)
                text += event.press ? "<pressed again>" : "<released while up>";
            const xkb_keycode_t keycode = event.evdevCode + 8;
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), keycode);
            const bool ctrl =
                xkb_state_mod_name_is_active(state.get(), XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0;
            const auto changed = xkb_state_update_key(state.get(), keycode, event.press ? XKB_KEY_DOWN : XKB_KEY_UP);
            if (!event.press || (changed & XKB_STATE_MODS_DEPRESSED))
                continue;
            char name[64] = {};
            // A character, not a control: its first byte is not below 0x20, nor DEL.
            if (xkb_keysym_to_utf8(keysym, name, sizeof name) > 1 && (name[0] & 0xE0) && name[0] != 0x7F)
                text += (ctrl ? "^" : "") + std::string(name);
            else if (xkb_keysym_get_name(keysym, name, sizeof name) > 0)
                text += "<" + std::string(name) + ">";
        }
    }
    return down.empty() ? text : text + "<left down>";
}

TEST(FakeInputKeys, TypesTheTextWithTheLayoutsOwnKeys)
{
    const std::tuple<const char*, const char*, const char*> cases[] = { // layout, notation, what it types
        {"us", "Hello, World! 123 ~", "Hello, World! 123 <Return>"},
        {"us", "{TAB}a\tb{~}{+}{{}", "<Tab>a<Tab>b~+{"},
        {"us", "{F5}{LEFT}{UP}{BS}{DEL}{HOME}{ESC}{PGDN}", "<F5><Left><Up><BackSpace><Delete><Home><Escape><Next>"},
        // Shift held by the text is neither pressed again nor let go by a capital.
        {"us", "+(aBc)d^c", "ABCd^c"},
        {"us", "`{~}!@#${%}{^}&*{(}{)}_{+}-=[]{{}{}}\\|;':\",./<>?", "`~!@#$%^&*()_+-=[]{}\\|;':\",./<>?"},
        {"de", "zy @ € ß Äö µ {{}|{}}~", "zy @ € ß Äö µ {|}<Return>"},
        {"de", "+(ß)", "?"},
        {"fr", "azerty 1&é\"'{(}", "azerty 1&é\"'("},
        {"ru", "привет", "привет"},
    };
    for (const auto& [layout, notation, typed] : cases) {
        const x11::XkbKeymap keymap = compileKeymap(layout);
        const std::vector<keys::KeyAction> actions = keys::parseKeyNotation(notation);
        const FakeInputPlan plan = planFakeInput(actions, keymap.get());
        EXPECT_EQ(typedText(plan, keymap.get()), typed) << layout << ": " << notation;
        EXPECT_EQ(plan.taps, static_cast<std::size_t>(std::ranges::count_if(actions, &keys::KeyAction::isTap)))
            << layout << ": " << notation;
    }
}

// The first character the layout lacks, with its position (in characters, a
// repeat at its name); nothing else is planned.
TEST(FakeInputKeys, NamesTheFirstCharacterTheLayoutLacks)
{
    for (const auto& [layout, notation, named] : {
             std::tuple{"us", "ab日本", "\"日\" (U+65E5) at character 3"},
             {"us", "{€ 3}x", "\"€\" (U+20AC) at character 2"},
             {"us", "Grüße", "\"ü\" (U+00FC) at character 3"},
             {"de", "äö 😀", "\"😀\" (U+1F600) at character 4"},
             {"ru", "abc", "\"a\" (U+0061) at character 1"},
         }) {
        const x11::XkbKeymap keymap = compileKeymap(layout);
        try {
            planFakeInput(keys::parseKeyNotation(notation), keymap.get());
            ADD_FAILURE() << "planned " << notation;
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr(named));
            EXPECT_THAT(error.what(), HasSubstr("not on the keyboard layout"));
        }
    }
}

} // namespace
} // namespace qmpvx::wayland
