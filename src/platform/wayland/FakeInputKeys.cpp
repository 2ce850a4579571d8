#include "platform/wayland/FakeInputKeys.h"

#include "platform/keys/Utf8.h"
#include "platform/x11/KeymapIndex.h"
#include "platform/x11/KeystrokePlan.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace qmpvx::wayland {

namespace {

constexpr std::uint32_t kEvdevOffset = 8;

std::string codeOf(char32_t character)
{
    std::array<char, 12> hex{};
    std::snprintf(hex.data(), hex.size(), "U+%04X", static_cast<unsigned>(character));
    return hex.data();
}

constexpr const char* kLayoutOnly =
    " is not on the keyboard layout, and on KDE Plasma only keys of the current layout can be typed; "
    "remove it, or switch to a layout that has it";

// Whether the layout types the tap; a character without any keysym counts as missing.
bool inLayout(const keys::KeyAction& action, const x11::KeymapIndex& index)
{
    if (action.kind == keys::KeyAction::Kind::Key)
        return index.find(x11::keysymOf(action.key)).has_value();
    try {
        return index.findCharacter(action.character).has_value();
    } catch (const std::invalid_argument&) {
        return false;
    }
}

void refuseWhatTheLayoutLacks(const std::vector<keys::KeyAction>& actions, const x11::KeymapIndex& index)
{
    for (const keys::KeyAction& action : actions) {
        if (!action.isTap() || inLayout(action, index))
            continue;
        const std::string at = " at character " + std::to_string(action.position);
        if (action.kind == keys::KeyAction::Kind::Key)
            throw std::runtime_error("The key " + std::string(keys::keyName(action.key)) + at + kLayoutOnly);
        std::string shown;
        keys::appendUtf8(shown, action.character);
        throw std::runtime_error("The character \"" + shown + "\" (" + codeOf(action.character) + ")" + at +
                                 kLayoutOnly);
    }
}

} // namespace

FakeInputPlan planFakeInput(const std::vector<keys::KeyAction>& actions, xkb_keymap* layout,
                            xkb_layout_index_t group)
{
    const x11::KeymapIndex index(layout, group);
    refuseWhatTheLayoutLacks(actions, index);
    // With no keycode to borrow, the X11 planner gives only the layout's own keys.
    const x11::KeystrokePlan keystrokes = x11::planKeystrokes(actions, index, {});
    FakeInputPlan plan;
    plan.taps = keystrokes.taps;
    for (const x11::Segment& segment : keystrokes.segments) {
        for (const x11::Step& step : segment.steps) {
            FakeInputStep& added = plan.steps.emplace_back();
            added.isTap = step.isTap;
            for (const x11::KeyEvent& event : step.events)
                added.events.push_back({event.keycode - kEvdevOffset, event.press});
        }
    }
    return plan;
}

} // namespace qmpvx::wayland
