#include "platform/x11/KeystrokePlan.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

namespace qmpvx::x11 {

namespace {

class Planner {
public:
    Planner(xkb_keymap* keymap, xkb_layout_index_t group) : index_(keymap, group)
    {
        spare_ = index_.spareKeycodes();
        spare_.insert(spare_.end(), index_.mediaKeycodes().begin(), index_.mediaKeycodes().end());
        plan_.segments.emplace_back();
    }

    void add(const keys::KeyAction& action)
    {
        using Kind = keys::KeyAction::Kind;
        switch (action.kind) {
        case Kind::Press:
        case Kind::Release: {
            const auto stroke = index_.find(keysymOf(action.modifier));
            if (!stroke)
                throw std::runtime_error("The keyboard layout has no " + std::string(keys::modifierName(action.modifier)) +
                                         " key to hold. Nothing was typed.");
            current().steps.push_back({{{stroke->keycode, action.kind == Kind::Press}}, false});
            break;
        }
        case Kind::Character: {
            const xkb_keysym_t keysym = characterKeysym(action.character);
            tap(index_.findCharacter(action.character), keysym);
            break;
        }
        case Kind::Key:
            tap(index_.find(keysymOf(action.key)), keysymOf(action.key));
            break;
        }
    }

    KeystrokePlan finish() { return std::move(plan_); }

private:
    Segment& current() { return plan_.segments.back(); }

    static xkb_keysym_t characterKeysym(char32_t character)
    {
        try {
            return keysymForCharacter(character);
        } catch (const std::invalid_argument&) {
            throw std::runtime_error("A character of the text (U+" + hex(character) +
                                     ") cannot be typed. Nothing was typed.");
        }
    }

    static std::string hex(char32_t value)
    {
        std::string digits;
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (int shift = 20; shift >= 0; shift -= 4) {
            if (shift < 16 || (value >> shift))
                digits += kDigits[(value >> shift) & 0xf];
        }
        return digits;
    }

    // A key of the layout when it has one, else a borrowed keycode.
    void tap(const std::optional<KeyStroke>& stroke, xkb_keysym_t keysym)
    {
        if (stroke)
            emitTap(stroke->keycode, index_.keycodesToHold(stroke->modifiers));
        else
            emitTap(borrowedKeycode(keysym), {});
    }

    void emitTap(std::uint8_t keycode, const std::vector<std::uint8_t>& modifiers)
    {
        Step step{{}, true};
        for (const std::uint8_t modifier : modifiers)
            step.events.push_back({modifier, true});
        step.events.push_back({keycode, true});
        step.events.push_back({keycode, false});
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            step.events.push_back({*it, false});
        current().steps.push_back(std::move(step));
        ++plan_.taps;
    }

    std::uint8_t borrowedKeycode(xkb_keysym_t keysym)
    {
        const std::vector<std::uint8_t>& spare = spare_;
        if (spare.empty())
            throw std::runtime_error("The keyboard has no free key codes for characters outside the current "
                                     "layout. Nothing was typed.");
        auto& loans = current().loans;
        const auto loaned = std::find_if(loans.begin(), loans.end(), [keysym](const auto& l) { return l.second == keysym; });
        if (loaned != loans.end())
            return loaned->first;
        if (loans.size() == spare.size())
            plan_.segments.emplace_back();
        const std::uint8_t keycode = spare[current().loans.size()];
        current().loans.emplace_back(keycode, keysym);
        return keycode;
    }

    KeymapIndex index_;
    std::vector<std::uint8_t> spare_;  // free keycodes first, then multimedia keys
    KeystrokePlan plan_;
};

} // namespace

KeystrokePlan planKeystrokes(const std::vector<keys::KeyAction>& actions, xkb_keymap* keymap,
                             xkb_layout_index_t activeGroup)
{
    Planner planner(keymap, activeGroup);
    for (const keys::KeyAction& action : actions)
        planner.add(action);
    return planner.finish();
}

} // namespace qmpvx::x11
