#include "platform/x11/KeystrokePlan.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

namespace qmpvx::x11 {

namespace {

class Planner {
public:
    Planner(const KeymapIndex& layout, const std::vector<BorrowableKeycode>& borrowable)
        : layout_(layout), keycodes_(borrowable.begin(), borrowable.end())
    {
        for (const BorrowableKeycode& keycode : borrowable)
            latest_ = std::max({latest_, keycode.lastUse[0], keycode.lastUse[1]});
        startSegment();
    }

    void add(const keys::KeyAction& action)
    {
        using Kind = keys::KeyAction::Kind;
        switch (action.kind) {
        case Kind::Press:
        case Kind::Release:
            holdModifier(action.modifier, action.kind == Kind::Press);
            break;
        case Kind::Character: {
            const xkb_keysym_t keysym = characterKeysym(action.character);
            if (const auto stroke = layout_.findCharacter(action.character))
                layoutTap(*stroke);
            else
                borrowedTap(keysym, false);
            break;
        }
        case Kind::Key:
            if (const auto stroke = layout_.find(keysymOf(action.key)))
                layoutTap(*stroke);
            else
                borrowedTap(keysymOf(action.key), true);
            break;
        }
    }

    KeystrokePlan finish()
    {
        closeSegment();
        return std::move(plan_);
    }

private:
    struct Candidate {
        BorrowableKeycode now;
        std::array<bool, 2> relied{};  // typed through in the current segment
        std::array<xkb_keysym_t, 2> atStart{};
    };

    // How good a place is for a new symbol: lower is better.
    using Cost = std::tuple<std::uint64_t, int>;

    Segment& current() { return plan_.segments.back(); }

    void startSegment()
    {
        plan_.segments.emplace_back();
        for (Candidate& candidate : keycodes_) {
            candidate.relied = {};
            candidate.atStart = candidate.now.keysyms;
        }
    }

    void closeSegment()
    {
        for (const Candidate& candidate : keycodes_) {
            if (candidate.now.keysyms != candidate.atStart)
                current().lend[candidate.now.keycode] = candidate.now.keysyms;
        }
    }

    void holdModifier(keys::Modifier modifier, bool press)
    {
        const auto stroke = layout_.find(keysymOf(modifier));
        if (!stroke)
            throw std::runtime_error("The keyboard layout has no " + std::string(keys::modifierName(modifier)) +
                                     " key to hold. Nothing was typed.");
        current().steps.push_back({{{stroke->keycode, press}}, false, std::nullopt});
        if (press)
            held_.insert(stroke->keycode);
        else
            held_.erase(stroke->keycode);
        if (modifier == keys::Modifier::Shift)
            shiftHeld_ = press;
    }

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

    void layoutTap(const KeyStroke& stroke)
    {
        emitTap(stroke.keycode, layout_.keycodesToHold(stroke.modifiers), std::nullopt);
    }

    void borrowedTap(xkb_keysym_t keysym, bool bothLevels)
    {
        const Slot slot = place(keysym, bothLevels);
        std::vector<std::uint8_t> shift;
        if (slot.level == 1 && !shiftHeld_)
            shift = layout_.keycodesToHold(layout_.shiftMask());
        emitTap(slot.keycode, shift, slot);
        Candidate& used = candidate(slot.keycode);
        used.relied[slot.level] = true;
        used.now.lastUse[slot.level] = ++latest_;
    }

    // Modifiers the text holds already are neither pressed again nor let go.
    void emitTap(std::uint8_t keycode, const std::vector<std::uint8_t>& modifiers, std::optional<Slot> borrowed)
    {
        std::vector<std::uint8_t> own;
        for (const std::uint8_t modifier : modifiers) {
            if (!held_.contains(modifier))
                own.push_back(modifier);
        }
        Step step{{}, true, borrowed};
        for (const std::uint8_t modifier : own)
            step.events.push_back({modifier, true});
        step.events.push_back({keycode, true});
        step.events.push_back({keycode, false});
        for (auto it = own.rbegin(); it != own.rend(); ++it)
            step.events.push_back({*it, false});
        current().steps.push_back(std::move(step));
        ++plan_.taps;
    }

    Candidate& candidate(std::uint8_t keycode)
    {
        return *std::ranges::find_if(keycodes_, [keycode](const Candidate& c) { return c.now.keycode == keycode; });
    }

    // A level that types the keysym with the Shift state the text has there.
    std::optional<Slot> existing(xkb_keysym_t keysym) const
    {
        std::optional<Slot> withShift;
        for (const Candidate& c : keycodes_) {
            if (!shiftHeld_ && c.now.keysyms[0] == keysym)
                return Slot{c.now.keycode, 0};
            if (c.now.keysyms[1] == keysym && !withShift)
                withShift = Slot{c.now.keycode, 1};
        }
        return withShift;
    }

    Slot place(xkb_keysym_t keysym, bool bothLevels)
    {
        if (keycodes_.empty())
            throw std::runtime_error("The keyboard has no free key codes for characters outside the current "
                                     "layout. Nothing was typed.");
        if (const auto found = existing(keysym))
            return *found;
        if (const auto placed = assign(keysym, bothLevels))
            return *placed;
        // Every slot is relied on by this segment: the next one replaces symbols.
        closeSegment();
        startSegment();
        return *assign(keysym, bothLevels);
    }

    std::optional<Slot> assign(xkb_keysym_t keysym, bool bothLevels)
    {
        Candidate* best = nullptr;
        int bestLevel = -1;  // -1: the whole keycode
        Cost bestCost{};
        const auto consider = [&](Candidate& c, int level, Cost cost) {
            if (!best || cost < bestCost)
                best = &c, bestLevel = level, bestCost = cost;
        };
        for (Candidate& c : keycodes_) {
            const auto& [now, relied, atStart] = std::tie(c.now, c.relied, c.atStart);
            const bool empty = now.keysyms[0] == XKB_KEY_NoSymbol && now.keysyms[1] == XKB_KEY_NoSymbol;
            if (!relied[0] && !relied[1])
                consider(c, -1, {std::max(now.lastUse[0], now.lastUse[1]), empty ? 0 : 3});
            if (bothLevels || empty)
                continue;
            const bool duplicate = now.keysyms[0] == now.keysyms[1];
            for (int level = shiftHeld_ ? 1 : 0; level < 2; ++level) {
                if (!relied[static_cast<std::size_t>(level)])
                    consider(c, level, {now.lastUse[static_cast<std::size_t>(level)], duplicate ? 1 : 2});
            }
        }
        if (!best)
            return std::nullopt;
        BorrowableKeycode& now = best->now;
        const auto replace = [&](std::size_t level) {
            if (now.lastUse[level] != 0)
                current().replaced.push_back({now.keycode, static_cast<std::uint8_t>(level)});
            now.keysyms[level] = keysym;
            now.lastUse[level] = 0;
        };
        if (bestLevel < 0) {
            replace(0);
            replace(1);
            return Slot{now.keycode, static_cast<std::uint8_t>(shiftHeld_ ? 1 : 0)};
        }
        replace(static_cast<std::size_t>(bestLevel));
        return Slot{now.keycode, static_cast<std::uint8_t>(bestLevel)};
    }

    const KeymapIndex& layout_;
    std::vector<Candidate> keycodes_;
    std::set<std::uint8_t> held_;  // modifier keys the text holds down
    bool shiftHeld_ = false;
    std::uint64_t latest_ = 0;
    KeystrokePlan plan_;
};

} // namespace

std::vector<std::uint8_t> KeystrokePlan::keycodes() const
{
    std::set<std::uint8_t> all;
    for (const Segment& segment : segments)
        for (const Step& step : segment.steps)
            for (const KeyEvent& event : step.events)
                all.insert(event.keycode);
    return {all.begin(), all.end()};
}

KeystrokePlan planKeystrokes(const std::vector<keys::KeyAction>& actions, const KeymapIndex& layout,
                             const std::vector<BorrowableKeycode>& borrowable)
{
    Planner planner(layout, borrowable);
    for (const keys::KeyAction& action : actions)
        planner.add(action);
    return planner.finish();
}

} // namespace qmpvx::x11
