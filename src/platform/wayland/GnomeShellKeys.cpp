#include "platform/wayland/GnomeShellKeys.h"

#include "platform/wayland/VirtualKeymap.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace qmpvx::wayland {

namespace {

constexpr std::uint32_t kEvdevOffset = 8;
constexpr std::uint32_t kLastX11Keycode = 255;
constexpr std::size_t kLevels = 4;

using Levels = std::array<xkb_keysym_t, kLevels>;

// A key symbols may be put on, and the levels of it that are free to.
struct Place {
    std::uint32_t keycode;
    std::string name;
    std::string type;
    Levels layout;  // what the layout has on it
    std::vector<std::size_t> freeLevels;
};

xkb_keysym_t symbolAt(xkb_keymap* keymap, xkb_keycode_t keycode, xkb_level_index_t level)
{
    const xkb_keysym_t* syms = nullptr;
    return level < xkb_keymap_num_levels_for_key(keymap, keycode, 0) &&
                   xkb_keymap_key_get_syms_by_level(keymap, keycode, 0, level, &syms) == 1
               ? syms[0]
               : XKB_KEY_NoSymbol;
}

// Keys of the layout that type a character and its Shift partner and
// nothing more: two more levels do not change what they type.
bool isTwoLevelCharacterKey(xkb_keymap* keymap, xkb_keycode_t keycode)
{
    if (xkb_keymap_num_layouts_for_key(keymap, keycode) != 1 || xkb_keymap_num_levels_for_key(keymap, keycode, 0) != 2)
        return false;
    for (const xkb_level_index_t level : {0U, 1U}) {
        const std::uint32_t character = xkb_keysym_to_utf32(symbolAt(keymap, keycode, level));
        if (character <= 0x20 || character == 0x7f)
            return false;
    }
    return true;
}

std::vector<Place> placesIn(xkb_keymap* keymap, bool levelThree)
{
    std::vector<Place> places;
    const std::vector<std::size_t> emptyLevels =
        levelThree ? std::vector<std::size_t>{0, 1, 2, 3} : std::vector<std::size_t>{0, 1};
    for (const std::uint32_t keycode : borrowableKeycodes(keymap))
        places.push_back({keycode, xkb_keymap_key_get_name(keymap, keycode), levelThree ? "FOUR_LEVEL" : "TWO_LEVEL",
                          {}, emptyLevels});
    if (!levelThree)
        return places;
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= kLastX11Keycode; ++keycode) {
        if (!isTwoLevelCharacterKey(keymap, keycode))
            continue;
        const Levels layout{symbolAt(keymap, keycode, 0), symbolAt(keymap, keycode, 1)};
        // A letter keeps Caps Lock working on its own two levels.
        const bool letter = xkb_keysym_to_upper(layout[0]) == layout[1] && layout[0] != layout[1];
        places.push_back({keycode, xkb_keymap_key_get_name(keymap, keycode),
                          letter ? "FOUR_LEVEL_SEMIALPHABETIC" : "FOUR_LEVEL", layout, {2, 3}});
    }
    return places;
}

class Planner {
public:
    explicit Planner(xkb_keymap* layout) : index_(layout, 0)
    {
        levelThree_ = index_.levelThreeMask() != 0 && index_.canHold(index_.levelThreeMask() | index_.shiftMask());
        places_ = placesIn(layout, levelThree_);
        startSegment();
    }

    void add(const keys::KeyAction& action)
    {
        if (!action.isTap()) {
            hold(action);
            return;
        }
        const xkb_keysym_t keysym = keysymOfTap(action);
        const std::optional<x11::KeyStroke> stroke =
            action.kind == keys::KeyAction::Kind::Key ? index_.find(keysym) : index_.findCharacter(action.character);
        if (stroke) {
            tap(stroke->keycode, stroke->modifiers);
            return;
        }
        const auto [place, level] = placeFor(keysym, action.kind == keys::KeyAction::Kind::Key, action.position);
        tap(places_[place].keycode, ((level & 1) ? index_.shiftMask() : 0) | ((level & 2) ? index_.levelThreeMask() : 0));
    }

    GnomeTypingPlan finish()
    {
        closeSegment();
        return std::move(plan_);
    }

    std::optional<x11::KeyStroke> capsLockKey() const { return index_.find(XKB_KEY_Caps_Lock); }

private:
    void hold(const keys::KeyAction& action)
    {
        releaseLevelKeys();
        const std::optional<x11::KeyStroke> stroke = index_.find(x11::keysymOf(action.modifier));
        if (!stroke)
            throw std::runtime_error("The keyboard layout has no " + std::string(keys::modifierName(action.modifier)) +
                                     " key.");
        const bool press = action.kind == keys::KeyAction::Kind::Press;
        current().events.push_back({stroke->keycode - kEvdevOffset, press, false});
        if (press)
            held_.insert(stroke->keycode);
        else
            held_.erase(stroke->keycode);
        if (action.modifier == keys::Modifier::Shift)
            shiftHeld_ = press;
    }

    // The key with the modifier keys of its level; those the text holds are
    // neither pressed again nor let go. A level's keys stay down while the
    // next key needs them too, as a typist holds Shift: fewer events for the
    // shell to pass on.
    void tap(std::uint32_t keycode, std::uint32_t modifiers)
    {
        std::set<std::uint32_t> needed;
        for (const std::uint8_t modifier : index_.keycodesToHold(modifiers)) {
            if (!held_.contains(modifier))
                needed.insert(modifier);
        }
        std::vector<GnomeKeyEvent>& events = current().events;
        for (auto it = levelKeys_.rbegin(); it != levelKeys_.rend(); ++it) {
            if (!needed.contains(*it))
                events.push_back({*it - kEvdevOffset, false, false});
        }
        for (const std::uint32_t modifier : needed) {
            if (!levelKeys_.contains(modifier))
                events.push_back({modifier - kEvdevOffset, true, false});
        }
        levelKeys_ = needed;
        events.push_back({keycode - kEvdevOffset, true, false});
        events.push_back({keycode - kEvdevOffset, false, true});
        ++plan_.taps;
    }

    void releaseLevelKeys()
    {
        for (auto it = levelKeys_.rbegin(); it != levelKeys_.rend(); ++it)
            current().events.push_back({*it - kEvdevOffset, false, false});
        levelKeys_.clear();
    }

    // Where the keysym is typed in this segment: a place it has already, or
    // a new one. With Shift held by the text only Shift levels type; a named
    // key has a keycode to itself. Starts a new segment when all are taken.
    std::pair<std::size_t, std::size_t> placeFor(xkb_keysym_t keysym, bool wholeKey, std::size_t position)
    {
        for (const auto& [where, level] : placed_[keysym]) {
            if (!shiftHeld_ || (level & 1))
                return {where, level};
        }
        if (auto placed = assign(keysym, wholeKey))
            return *placed;
        if (!segmentHasBorrowed()) {
            throw std::runtime_error("The keyboard layout leaves no key free for the character at position " +
                                     std::to_string(position) + ".");
        }
        closeSegment();
        startSegment();
        if (auto placed = assign(keysym, wholeKey))
            return *placed;
        throw std::runtime_error("The keyboard layout leaves no key free for the character at position " +
                                 std::to_string(position) + ".");
    }

    std::optional<std::pair<std::size_t, std::size_t>> assign(xkb_keysym_t keysym, bool wholeKey)
    {
        for (std::size_t where = 0; where < places_.size(); ++where) {
            const Place& place = places_[where];
            Levels& now = symbols_[where];
            if (wholeKey) {
                if (!place.layout[0] && std::ranges::all_of(now, [](xkb_keysym_t k) { return !k; })) {
                    for (const std::size_t level : place.freeLevels)
                        now[level] = keysym;
                    placed_[keysym].push_back({where, shiftHeld_ ? 1 : 0});
                    return placed_[keysym].back();
                }
                continue;
            }
            for (const std::size_t level : place.freeLevels) {
                if (now[level] || (shiftHeld_ && !(level & 1)))
                    continue;
                now[level] = keysym;
                placed_[keysym].push_back({where, level});
                return placed_[keysym].back();
            }
        }
        return std::nullopt;
    }

    bool segmentHasBorrowed() const { return !placed_.empty(); }
    GnomeSegment& current() { return plan_.segments.back(); }

    void startSegment()
    {
        plan_.segments.emplace_back();
        symbols_.assign(places_.size(), Levels{});
        placed_.clear();
    }

    // A temporary keymap holds every place that carries a symbol now.
    void closeSegment()
    {
        releaseLevelKeys();
        for (std::size_t where = 0; where < places_.size(); ++where) {
            if (std::ranges::all_of(symbols_[where], [](xkb_keysym_t k) { return !k; }))
                continue;
            const Place& place = places_[where];
            Levels keysyms = place.layout;
            for (const std::size_t level : place.freeLevels)
                keysyms[level] = symbols_[where][level];
            current().borrowed.push_back({place.name, place.type, keysyms});
        }
    }

    x11::KeymapIndex index_;
    bool levelThree_ = false;
    std::vector<Place> places_;
    std::vector<Levels> symbols_;  // per place: what this segment put on it
    std::map<xkb_keysym_t, std::vector<std::pair<std::size_t, std::size_t>>> placed_;
    std::set<std::uint8_t> held_;  // modifier keys the text holds down
    std::set<std::uint32_t> levelKeys_;  // modifier keys down for the level of the last key
    bool shiftHeld_ = false;
    GnomeTypingPlan plan_;
};

} // namespace

x11::XkbKeymap compileGnomeLayout(const GnomeLayout& layout)
{
    const x11::XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{.rules = "evdev", .model = "pc105+inet", .layout = layout.layout.c_str(),
                               .variant = layout.variant.c_str(), .options = layout.options.c_str()};
    x11::XkbKeymap keymap(context ? xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS)
                                  : nullptr);
    if (!keymap)
        throw std::runtime_error("The keyboard layout \"" + layout.layout +
                                 (layout.variant.empty() ? "" : "(" + layout.variant + ")") +
                                 "\" of GNOME Shell could not be compiled (is xkb-data installed?). "
                                 "Nothing was typed.");
    return keymap;
}

GnomeTypingPlan planGnomeTyping(const std::vector<keys::KeyAction>& actions, xkb_keymap* layout)
{
    Planner planner(layout);
    for (const keys::KeyAction& action : actions)
        planner.add(action);
    GnomeTypingPlan plan = planner.finish();
    // Only a key whose tap locks Caps Lock (options may make it a Ctrl key).
    if (const std::optional<x11::KeyStroke> caps = planner.capsLockKey(); caps && !caps->modifiers) {
        const x11::XkbState state(xkb_state_new(layout));
        xkb_state_update_key(state.get(), caps->keycode, XKB_KEY_DOWN);
        xkb_state_update_key(state.get(), caps->keycode, XKB_KEY_UP);
        if (xkb_state_mod_name_is_active(state.get(), XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0)
            plan.capsLockKey = caps->keycode - kEvdevOffset;
    }
    return plan;
}

} // namespace qmpvx::wayland
