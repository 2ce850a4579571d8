#include "platform/x11/Keyboard.h"

#include "platform/Termination.h"

#include <xcb/xinput.h>
// xcb's XKB header names a field "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

namespace qmpvx::x11 {

namespace {

// The slave keyboard that XTest events come from; the core keyboard when the
// server has no XInput 2.
std::int32_t xtestKeyboard(XConnection& connection)
{
    Reply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
        connection.get(), xcb_input_xi_query_version(connection.get(), 2, 0), nullptr));
    if (version && version->major_version >= 2) {
        Reply<xcb_input_xi_query_device_reply_t> devices(xcb_input_xi_query_device_reply(
            connection.get(), xcb_input_xi_query_device(connection.get(), XCB_INPUT_DEVICE_ALL), nullptr));
        if (devices) {
            for (auto it = xcb_input_xi_query_device_infos_iterator(devices.get()); it.rem;
                 xcb_input_xi_device_info_next(&it)) {
                const std::string name(xcb_input_xi_device_info_name(it.data),
                                       xcb_input_xi_device_info_name_length(it.data));
                if (it.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD && name.ends_with("XTEST keyboard"))
                    return it.data->deviceid;
            }
        }
    }
    return xkb_x11_get_core_keyboard_device_id(connection.get());
}

} // namespace

Keyboard::Keyboard(XConnection& connection) : connection_(connection)
{
    if (!xkb_x11_setup_xkb_extension(connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        throw std::runtime_error("The X server has no keyboard extension (XKB), which typing needs.");
    deviceId_ = xtestKeyboard(connection);
    context_.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context_)
        throw std::runtime_error("Could not set up keyboard handling.");
    keymap_.reset(xkb_x11_keymap_new_from_device(context_.get(), connection.get(), deviceId_,
                                                 XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_)
        throw std::runtime_error("Could not read the keyboard layout from the X server.");
    const XkbState state(xkb_x11_state_new_from_device(keymap_.get(), connection.get(), deviceId_));
    if (state)
        activeGroup_ = xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
}

std::vector<std::uint8_t> Keyboard::heldKeycodes() const
{
    Reply<xcb_query_keymap_reply_t> keys(
        xcb_query_keymap_reply(connection_.get(), xcb_query_keymap(connection_.get()), nullptr));
    if (!keys)
        throw NoX11Session("The connection to the X server was lost.");
    std::vector<std::uint8_t> held;
    for (int keycode = 8; keycode < 256; ++keycode) {
        if (keys->keys[keycode / 8] & (1u << (keycode % 8)))
            held.push_back(static_cast<std::uint8_t>(keycode));
    }
    return held;
}

void Keyboard::waitUntilReleased(std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (std::vector<std::uint8_t> held = heldKeycodes(); !held.empty(); held = heldKeycodes()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::string names;
            for (const std::uint8_t keycode : held) {
                const xkb_keysym_t* syms = nullptr;
                char name[64] = "?";
                if (xkb_keymap_key_get_syms_by_level(keymap_.get(), keycode, 0, 0, &syms) > 0)
                    xkb_keysym_get_name(syms[0], name, sizeof name);
                names += (names.empty() ? "" : ", ") + std::string(name);
            }
            throw std::runtime_error("Keys are held down on the keyboard (" + names +
                                     "); they would mix into the text. Release all keys and try again. "
                                     "Nothing was typed.");
        }
        stopIfTerminationRequested("Waiting for held keys to be released stopped, and nothing was typed");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Keyboard::capsLockOn() const
{
    Reply<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
        connection_.get(), xcb_xkb_get_state(connection_.get(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
    return state && (state->lockedMods & XCB_MOD_MASK_LOCK);
}

void Keyboard::lockCaps(XConnection& connection, bool on)
{
    connection.check(xcb_xkb_latch_lock_state_checked(connection.get(), XCB_XKB_ID_USE_CORE_KBD, XCB_MOD_MASK_LOCK,
                                                      on ? XCB_MOD_MASK_LOCK : 0, 0, 0, 0, 0, 0),
                     "change Caps Lock");
}

bool keyboardGrabbedByOther(XConnection& connection, xcb_timestamp_t now)
{
    // Far enough ahead to stay in the future for days, near enough not to
    // count as the past (the server compares times within half a month).
    constexpr xcb_timestamp_t kAhead = 1u << 30;
    xcb_connection_t* c = connection.get();
    const Reply<xcb_grab_keyboard_reply_t> grab(xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, connection.root(), now + kAhead, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    if (!grab)
        throw NoX11Session("The connection to the X server was lost.");
    if (grab->status == XCB_GRAB_STATUS_SUCCESS)
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME); // a server whose clock ran far ahead
    return grab->status == XCB_GRAB_STATUS_ALREADY_GRABBED || grab->status == XCB_GRAB_STATUS_FROZEN;
}

KeycodeSymbols readKeycodes(XConnection& connection, const std::vector<std::uint8_t>& keycodes)
{
    KeycodeSymbols symbols;
    if (keycodes.empty())
        return symbols;
    const auto [first, last] = std::ranges::minmax(keycodes);
    xcb_connection_t* c = connection.get();
    xcb_generic_error_t* error = nullptr;
    const auto reply = XConnection::check(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, first, static_cast<std::uint8_t>(last - first + 1)),
                                       &error),
        &error, "read the keyboard mapping");
    const xcb_keysym_t* all = xcb_get_keyboard_mapping_keysyms(reply.get());
    const std::size_t width = reply->keysyms_per_keycode;
    for (const std::uint8_t keycode : keycodes) {
        const xcb_keysym_t* own = all + (keycode - first) * width;
        const auto column = [&](std::size_t i) { return i < width ? own[i] : xcb_keysym_t{XCB_NO_SYMBOL}; };
        symbols[keycode] = {column(0), column(1), column(4), column(5)};
    }
    return symbols;
}

namespace {

// Calls `write` for each run of neighbouring keycodes: one request each.
template <typename Item, typename Write>
void forEachRun(const std::map<std::uint8_t, Item>& items, Write&& write)
{
    auto it = items.begin();
    while (it != items.end()) {
        const auto from = it;
        unsigned next = it->first;
        for (; it != items.end() && it->first == next; ++it, ++next) {
        }
        write(from, it, static_cast<std::uint8_t>(next - from->first));
    }
}

// The server's index of the four-level key type, if it has one.
std::optional<std::uint8_t> fourLevelType(XConnection& connection)
{
    xcb_connection_t* c = connection.get();
    const Reply<xcb_xkb_get_names_reply_t> reply(xcb_xkb_get_names_reply(
        c, xcb_xkb_get_names(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_NAME_DETAIL_KEY_TYPE_NAMES), nullptr));
    if (!reply)
        return std::nullopt;
    xcb_xkb_get_names_value_list_t names{};
    xcb_xkb_get_names_value_list_unpack(xcb_xkb_get_names_value_list(reply.get()), reply->nTypes, reply->indicators,
                                        reply->virtualMods, reply->groupNames, reply->nKeys, reply->nKeyAliases,
                                        reply->nRadioGroups, reply->which, &names);
    const xcb_atom_t wanted = connection.atom("FOUR_LEVEL");
    for (std::uint8_t i = 0; i < reply->nTypes; ++i) {
        if (names.typeNames[i] == wanted)
            return i;
    }
    return std::nullopt;
}

// The cookie of the last request, checked only when asked.
xcb_void_cookie_t writeXkbKeycodes(XConnection& connection, const KeycodeSymbols& symbols,
                                   std::optional<std::uint8_t> fourLevel, bool checked = false)
{
    constexpr std::uint8_t kTwoLevel = 1; // a fixed index in every XKB keymap
    xcb_void_cookie_t last{};
    xcb_connection_t* c = connection.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    forEachRun(symbols, [&](auto from, auto to, std::uint8_t count) {
        // Each key's symbol map, one group of `width` levels, then its symbols.
        std::vector<std::uint8_t> values;
        std::uint16_t total = 0;
        for (auto it = from; it != to; ++it) {
            const LevelSymbols& levels = it->second;
            const bool four = fourLevel && (levels[2] != XCB_NO_SYMBOL || levels[3] != XCB_NO_SYMBOL);
            xcb_xkb_key_sym_map_t map{};
            map.kt_index[0] = four ? *fourLevel : kTwoLevel;
            map.groupInfo = 1;
            map.width = four ? 4 : 2;
            map.nSyms = map.width;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&map);
            values.insert(values.end(), bytes, bytes + sizeof map);
            bytes = reinterpret_cast<const std::uint8_t*>(levels.data());
            values.insert(values.end(), bytes, bytes + map.width * sizeof(xcb_keysym_t));
            total = static_cast<std::uint16_t>(total + map.width);
        }
        last = (checked ? xcb_xkb_set_map_checked : xcb_xkb_set_map)(
            c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_MAP_PART_KEY_SYMS, XCB_XKB_SET_MAP_FLAGS_RECOMPUTE_ACTIONS,
            setup->min_keycode, setup->max_keycode, 0, 0, from->first, count, total, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
            0, 0, 0, 0, 0, 0, values.data());
    });
    return last;
}

} // namespace

KeymapWrites keymapWrites(XConnection& connection, std::uint8_t spare)
{
    // The server checks an XKB change against the keymap of every keyboard
    // device; XWayland's devices have keymaps that number their key types
    // differently, so it refuses the change. The core protocol lets each
    // device's keymap place the symbols itself.
    const std::optional<std::uint8_t> fourLevel = fourLevelType(connection);
    const xcb_void_cookie_t probe = writeXkbKeycodes(connection, {{spare, LevelSymbols{}}}, fourLevel, true);
    const Reply<xcb_generic_error_t> refused{xcb_request_check(connection.get(), probe)};
    if (!refused)
        emptyKeycodes(connection, {spare});
    return refused ? KeymapWrites{true, std::nullopt} : KeymapWrites{false, fourLevel};
}

void writeKeycodes(XConnection& connection, const KeycodeSymbols& symbols, const KeymapWrites& how)
{
    if (!how.core) {
        writeXkbKeycodes(connection, symbols, how.fourLevel);
        return;
    }
    forEachRun(symbols, [&](auto from, auto to, std::uint8_t count) {
        std::vector<xcb_keysym_t> keysyms;
        for (auto it = from; it != to; ++it)
            keysyms.insert(keysyms.end(), {it->second[0], it->second[1]});
        xcb_change_keyboard_mapping(connection.get(), count, from->first, 2, keysyms.data());
    });
}

void emptyKeycodes(XConnection& connection, const std::vector<std::uint8_t>& keycodes)
{
    std::map<std::uint8_t, bool> all;
    for (const std::uint8_t keycode : keycodes)
        all[keycode] = true;
    forEachRun(all, [&](auto from, auto, std::uint8_t count) {
        const std::vector<xcb_keysym_t> none(2u * count, XCB_NO_SYMBOL);
        xcb_change_keyboard_mapping(connection.get(), count, from->first, 2, none.data());
    });
}

std::vector<std::uint8_t> keycodesWithoutEffects(XConnection& connection, const std::vector<std::uint8_t>& keycodes)
{
    xcb_connection_t* c = connection.get();
    const std::uint16_t parts =
        XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    Reply<xcb_xkb_get_map_reply_t> reply(xcb_xkb_get_map_reply(
        c, xcb_xkb_get_map(c, XCB_XKB_ID_USE_CORE_KBD, parts, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
        nullptr));
    if (!reply)
        throw std::runtime_error("Could not read the keyboard's key actions from the X server.");
    xcb_xkb_get_map_map_t map{};
    xcb_xkb_get_map_map_unpack(xcb_xkb_get_map_map(reply.get()), reply->nTypes, reply->nKeySyms, reply->nKeyActions,
                               reply->totalActions, reply->totalKeyBehaviors, reply->virtualMods,
                               reply->totalKeyExplicit, reply->totalModMapKeys, reply->totalVModMapKeys,
                               reply->present, &map);
    std::vector<bool> effect(256, false);
    for (unsigned i = 0; i < reply->nKeyActions; ++i)
        effect[(reply->firstKeyAction + i) & 0xFF] = effect[(reply->firstKeyAction + i) & 0xFF] || map.acts_rtrn_count[i];
    for (unsigned i = 0; i < reply->totalModMapKeys; ++i)
        effect[map.modmap_rtrn[i].keycode] = effect[map.modmap_rtrn[i].keycode] || map.modmap_rtrn[i].mods;
    for (unsigned i = 0; i < reply->totalVModMapKeys; ++i)
        effect[map.vmodmap_rtrn[i].keycode] = effect[map.vmodmap_rtrn[i].keycode] || map.vmodmap_rtrn[i].vmods;
    std::vector<std::uint8_t> free;
    for (const std::uint8_t keycode : keycodes) {
        if (!effect[keycode])
            free.push_back(keycode);
    }
    return free;
}

} // namespace qmpvx::x11
