#include "platform/x11/KeystrokePlan.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

namespace qmpvx::x11 {

namespace {

// A position past every action: a symbol not needed again.
constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

class Planner {
public:
    Planner(const KeymapIndex& layout, const std::vector<BorrowableKeycode>& borrowable, std::size_t levels,
            const std::vector<keys::KeyAction>& actions)
        : layout_(layout)
    {
        // The whole text is known before the first key: where each borrowed
        // symbol is needed next decides which one gives up its place.
        for (std::size_t i = 0; i < actions.size(); ++i) {
            if (const std::optional<xkb_keysym_t> keysym = borrowedKeysym(actions[i]))
                uses_[*keysym].push_back(i);
        }
        for (const BorrowableKeycode& keycode : borrowable) {
            keycodes_.push_back({keycode});
            latest_ = std::max(latest_, *std::ranges::max_element(keycode.lastUse));
        }
        // Levels 3 and 4 need a Level3 (AltGr) key in the layout to reach them.
        levels_ = levels > 2 && layout.levelThreeMask() && layout.canHold(layout.levelThreeMask() | layout.shiftMask()) ? 4 : 2;
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
        ++position_;
    }

    KeystrokePlan finish()
    {
        closeSegment();
        return std::move(plan_);
    }

private:
    struct Candidate {
        BorrowableKeycode now;
        std::array<bool, kBorrowedLevels> relied{};  // typed through in the current segment
        LevelSymbols atStart{};
    };

    // How good a place is for a new symbol: lower is better. A new wait
    // first, then how soon a symbol it displaces is needed again, then the
    // kind of place, then how recently it was typed through.
    using Cost = std::tuple<bool, std::size_t, int, std::uint64_t>;

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

    // The symbol an action types through a borrowed keycode, if any.
    std::optional<xkb_keysym_t> borrowedKeysym(const keys::KeyAction& action) const
    {
        using Kind = keys::KeyAction::Kind;
        if (action.kind == Kind::Character && !layout_.findCharacter(action.character))
            return characterKeysym(action.character);
        if (action.kind == Kind::Key && !layout_.find(keysymOf(action.key)))
            return keysymOf(action.key);
        return std::nullopt;
    }

    // The position of the next action after this one that needs the symbol.
    std::size_t nextUse(xkb_keysym_t keysym) const
    {
        const auto found = uses_.find(keysym);
        if (found == uses_.end())
            return kNever;
        const auto next = std::ranges::upper_bound(found->second, position_);
        return next == found->second.end() ? kNever : *next;
    }

    // Whether the symbol stays on some level other than those about to be written.
    bool keptElsewhere(xkb_keysym_t keysym, const Candidate& writing, const std::array<bool, kBorrowedLevels>& written) const
    {
        for (const Candidate& c : keycodes_) {
            for (std::size_t level = 0; level < kBorrowedLevels; ++level) {
                if (c.now.keysyms[level] == keysym && !(&c == &writing && written[level]))
                    return true;
            }
        }
        return false;
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

    void borrowedTap(xkb_keysym_t keysym, bool wholeKeycode)
    {
        const Slot slot = place(keysym, wholeKeycode);
        const std::uint32_t modifiers = ((slot.level & 1) ? layout_.shiftMask() : 0) |
                                        ((slot.level & 2) ? layout_.levelThreeMask() : 0);
        emitTap(slot.keycode, modifiers ? layout_.keycodesToHold(modifiers) : std::vector<std::uint8_t>{}, slot);
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

    // With Shift held by the text, a key types its Shift levels only.
    bool reachable(std::size_t level) const { return level < levels_ && (!shiftHeld_ || (level & 1)); }

    // A level that types the keysym with the Shift state the text has there;
    // the plain level first, Level3 last.
    std::optional<Slot> existing(xkb_keysym_t keysym) const
    {
        for (std::size_t level = 0; level < levels_; ++level) {
            for (const Candidate& c : keycodes_) {
                if (reachable(level) && c.now.keysyms[level] == keysym)
                    return Slot{c.now.keycode, static_cast<std::uint8_t>(level)};
            }
        }
        return std::nullopt;
    }

    Slot place(xkb_keysym_t keysym, bool wholeKeycode)
    {
        if (keycodes_.empty())
            throw std::runtime_error("The keyboard has no free key codes for characters outside the current "
                                     "layout. Nothing was typed.");
        if (const auto found = existing(keysym))
            return *found;
        if (const auto placed = assign(keysym, wholeKeycode))
            return *placed;
        // Every slot is relied on by this segment: the next one replaces symbols.
        closeSegment();
        startSegment();
        return *assign(keysym, wholeKeycode);
    }

    // Where a new symbol goes: the place whose symbols were typed through
    // longest ago (no wait at all when never or long enough ago), and among
    // those, empty keycodes first, then a level that repeats its partner's
    // symbol, then an empty Level3 pair, and a symbol of its own last, which
    // might be wanted again. A symbol alone on a pair fills both of its
    // levels, so that held Shift types it too.
    std::optional<Slot> assign(xkb_keysym_t keysym, bool wholeKeycode)
    {
        struct Place {
            Candidate* candidate = nullptr;
            std::array<bool, kBorrowedLevels> written{};
            std::size_t typed = 0;
            Cost cost{};
        };
        std::optional<Place> best;
        // A segment that waits already can replace any symbol typed before it at no further wait.
        const bool waiting = !current().replaced.empty();
        const auto consider = [&](Candidate& c, std::initializer_list<std::size_t> levels, std::size_t typed,
                                  int rank) {
            Place place{&c, {}, typed, {}};
            std::uint64_t lastUse = 0;
            for (const std::size_t level : levels) {
                if (c.relied[level])
                    return;
                place.written[level] = true;
                lastUse = std::max(lastUse, c.now.lastUse[level]);
            }
            std::size_t soonest = kNever;
            for (const std::size_t level : levels) {
                const xkb_keysym_t displaced = c.now.keysyms[level];
                if (displaced != XKB_KEY_NoSymbol && displaced != keysym && !keptElsewhere(displaced, c, place.written))
                    soonest = std::min(soonest, nextUse(displaced));
            }
            place.cost = {lastUse != 0 && !waiting, kNever - soonest, rank, lastUse};
            if (!best || place.cost < best->cost)
                best = place;
        };
        const std::size_t shift = shiftHeld_ ? 1 : 0;
        for (Candidate& c : keycodes_) {
            const LevelSymbols& now = c.now.keysyms;
            const bool empty = std::ranges::all_of(now, [](xkb_keysym_t k) { return k == XKB_KEY_NoSymbol; });
            if (wholeKeycode) {
                // A named key's keysym (a keypad key's, say) decides how the
                // whole keycode behaves: it has the keycode to itself.
                consider(c, {0, 1, 2, 3}, shift, empty ? 0 : 6);
                continue;
            }
            for (std::size_t pair = 0; pair < levels_ / 2; ++pair) {
                const std::size_t low = 2 * pair, high = low + 1;
                const bool pairEmpty = now[low] == XKB_KEY_NoSymbol && now[high] == XKB_KEY_NoSymbol;
                const bool repeated = now[low] == now[high];
                consider(c, {low, high}, low + shift, pair == 0 ? (empty ? 0 : 6) : (pairEmpty ? 2 : 7));
                if (pairEmpty)
                    continue;
                for (const std::size_t level : {low, high}) {
                    if (reachable(level))
                        consider(c, {level}, level, repeated ? (pair == 0 ? 1 : 3) : (pair == 0 ? 4 : 5));
                }
            }
        }
        if (!best)
            return std::nullopt;
        BorrowableKeycode& now = best->candidate->now;
        for (std::size_t level = 0; level < kBorrowedLevels; ++level) {
            if (!best->written[level])
                continue;
            if (now.lastUse[level] != 0)
                current().replaced.push_back({now.keycode, static_cast<std::uint8_t>(level)});
            now.keysyms[level] = wholeKeycode && level >= 2 ? XKB_KEY_NoSymbol : keysym;
            now.lastUse[level] = 0;
        }
        return Slot{now.keycode, static_cast<std::uint8_t>(best->typed)};
    }

    const KeymapIndex& layout_;
    std::map<xkb_keysym_t, std::vector<std::size_t>> uses_; // positions of the actions that need each symbol
    std::size_t position_ = 0; // of the action being planned
    std::vector<Candidate> keycodes_;
    std::set<std::uint8_t> held_;  // modifier keys the text holds down
    bool shiftHeld_ = false;
    std::size_t levels_ = 2;
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
                             const std::vector<BorrowableKeycode>& borrowable, std::size_t levels)
{
    Planner planner(layout, borrowable, levels, actions);
    for (const keys::KeyAction& action : actions)
        planner.add(action);
    return planner.finish();
}

} // namespace qmpvx::x11
