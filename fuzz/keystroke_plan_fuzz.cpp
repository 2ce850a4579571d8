// A parsed text planned for a keyboard map, then typed on a recording
// keyboard that reads keys as a client does: the layout through xkbcommon,
// borrowed keycodes through the symbols lent to them so far. The first input
// byte picks the map, how many empty keycodes may be borrowed and whether
// they get Level3 levels; the rest is the text.
#include "Check.h"
#include "platform/keys/KeyNotation.h"
#include "platform/x11/KeystrokePlan.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace qmpvx;
using namespace qmpvx::x11;
using qmpvx::fuzz::check;
using keys::KeyAction;

namespace {

struct Layout {
    XkbKeymap keymap;
    std::unique_ptr<KeymapIndex> index;
};

// Maps as the X server compiles them for a PC keyboard; ru has no Latin
// letters, so most text goes through borrowed keycodes.
const std::array<Layout, 4>& layouts()
{
    static const std::array<Layout, 4> all = [] {
        static const XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
        std::array<Layout, 4> made;
        const char* names[] = {"us", "de", "fr", "ru"};
        for (std::size_t i = 0; i < made.size(); ++i) {
            const xkb_rule_names rules{.rules = "evdev", .model = "pc105", .layout = names[i], .variant = nullptr,
                                       .options = nullptr};
            made[i].keymap.reset(xkb_keymap_new_from_names(context.get(), &rules, XKB_KEYMAP_COMPILE_NO_FLAGS));
            check(made[i].keymap != nullptr, "the keyboard maps compile (is xkb-data installed?)");
            made[i].index = std::make_unique<KeymapIndex>(made[i].keymap.get(), 0);
        }
        return made;
    }();
    return all;
}

bool typesCharacter(xkb_keysym_t keysym, char32_t character)
{
    return xkb_keysym_to_utf32(keysym) == character || keysymForCharacter(character) == keysym;
}

std::uint32_t maskOf(const KeymapIndex& index, keys::Modifier modifier)
{
    switch (modifier) {
    case keys::Modifier::Shift: return index.shiftMask();
    case keys::Modifier::Ctrl: return index.controlMask();
    case keys::Modifier::Alt: return index.altMask();
    }
    return 0;
}

void typeOnRecordingKeyboard(const KeystrokePlan& plan, const std::vector<KeyAction>& actions, const Layout& layout,
                             const std::vector<BorrowableKeycode>& borrowable)
{
    const KeymapIndex& index = *layout.index;
    const XkbState state(xkb_state_new(layout.keymap.get()));
    KeycodeSymbols lent;
    for (const BorrowableKeycode& keycode : borrowable)
        lent[keycode.keycode] = keycode.keysyms;
    std::set<std::uint8_t> down;
    std::uint32_t textHolds = 0;  // the masks of the modifiers the text holds
    std::size_t action = 0;

    const auto nextTap = [&]() -> const KeyAction& {
        while (action < actions.size() && !actions[action].isTap()) {
            const KeyAction& a = actions[action++];
            const std::uint32_t mask = maskOf(index, a.modifier);
            textHolds = a.kind == KeyAction::Kind::Press ? textHolds | mask : textHolds & ~mask;
        }
        check(action < actions.size(), "the plan types no more keys than the text");
        return actions[action++];
    };

    for (const Segment& segment : plan.segments) {
        for (const auto& [keycode, keysyms] : segment.lend) {
            check(lent.contains(keycode), "only borrowable keycodes are lent");
            check(!down.contains(keycode), "no keycode is lent while it is down");
            lent[keycode] = keysyms;
        }
        for (const Step& step : segment.steps) {
            const KeyAction* typed = step.isTap ? &nextTap() : nullptr;
            const std::size_t main = (step.events.size() - 2) / 2;  // own modifiers around the key
            for (std::size_t e = 0; e < step.events.size(); ++e) {
                const KeyEvent& event = step.events[e];
                check(event.press != down.contains(event.keycode), "keys go down and up in turn");
                if (event.press)
                    down.insert(event.keycode);
                else
                    down.erase(event.keycode);
                xkb_state_update_key(state.get(), event.keycode + 0u, event.press ? XKB_KEY_DOWN : XKB_KEY_UP);
                if (!typed || e != main)
                    continue;

                check(event.press && !step.events[e + 1].press && step.events[e + 1].keycode == event.keycode,
                      "a tap is its key's press and release");
                const std::uint32_t mods = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_EFFECTIVE);
                check((mods & textHolds) == textHolds, "the modifiers the text holds are down for its keys");
                xkb_keysym_t keysym = 0;
                if (const auto borrowed = lent.find(event.keycode); borrowed != lent.end()) {
                    const std::size_t level = ((mods & index.shiftMask()) ? 1 : 0) |
                                              ((index.levelThreeMask() & mods) ? 2 : 0);
                    check(step.borrowed && step.borrowed->keycode == event.keycode &&
                              step.borrowed->level == level,
                          "a borrowed key is typed on the level planned");
                    keysym = borrowed->second[level];
                } else if (textHolds == 0) {
                    keysym = xkb_state_key_get_one_sym(state.get(), event.keycode);
                } else {
                    continue;  // a layout key with the text's modifiers types what they make of it
                }
                if (typed->kind == KeyAction::Kind::Key)
                    check(keysym == keysymOf(typed->key), "a named key types its keysym");
                else
                    check(typesCharacter(keysym, typed->character), "a character types itself");
            }
            check(step.isTap || step.events.size() == 1, "a modifier of the text is one event");
        }
    }
    check(down.empty(), "every key is up at the end");
    check(plan.taps == static_cast<std::size_t>(std::ranges::count_if(actions, &KeyAction::isTap)),
          "the plan types every key of the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Layout& layout = layouts()[data[0] & 3];
    const std::size_t freeKeycodes = (data[0] >> 2) & 15;
    const std::size_t levels = (data[0] & 0x40) ? 2 : kBorrowedLevels;
    std::vector<KeyAction> actions;
    try {
        actions = keys::parseKeyNotation(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    } catch (const keys::KeyNotationError&) {
        return 0;
    }

    std::vector<BorrowableKeycode> borrowable;
    for (const std::uint8_t keycode : layout.index->spareKeycodes()) {
        if (borrowable.size() < freeKeycodes)
            borrowable.push_back({keycode, {}, {}});
    }
    KeystrokePlan plan;
    try {
        plan = planKeystrokes(actions, *layout.index, borrowable, levels);
    } catch (const std::runtime_error& error) {
        // Only a key the map cannot type at all stops a plan, before any key.
        check(std::string_view(error.what()).ends_with("Nothing was typed."), "a refused plan says nothing was typed");
        return 0;
    }
    typeOnRecordingKeyboard(plan, actions, layout, borrowable);
    return 0;
}
