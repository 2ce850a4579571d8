#include "platform/x11/Keyboard.h"

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
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Keyboard::capsLockOn() const
{
    Reply<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
        connection_.get(), xcb_xkb_get_state(connection_.get(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
    return state && (state->lockedMods & XCB_MOD_MASK_LOCK);
}

void Keyboard::setCapsLock(bool on)
{
    connection_.check(xcb_xkb_latch_lock_state_checked(connection_.get(), XCB_XKB_ID_USE_CORE_KBD,
                                                       XCB_MOD_MASK_LOCK, on ? XCB_MOD_MASK_LOCK : 0, 0, 0, 0, 0, 0),
                      "change Caps Lock");
}

void KeycodeLoan::map(const std::vector<std::pair<std::uint8_t, xkb_keysym_t>>& assignment)
{
    xcb_connection_t* c = connection_.get();
    for (const auto& [keycode, keysym] : assignment) {
        if (original_.contains(keycode))
            continue;
        xcb_generic_error_t* error = nullptr;
        const auto reply = XConnection::check(
            xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, keycode, 1), &error), &error,
            "read the keyboard mapping");
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
        original_[keycode].assign(syms, syms + reply->keysyms_per_keycode);
    }
    Mapping lent;
    for (const auto& [keycode, keysym] : assignment)
        lent[keycode] = {keysym, keysym};  // Shift and Caps Lock cannot change it
    write(lent);
    connection_.sync();
}

// One request per run of neighbouring keycodes.
void KeycodeLoan::write(const Mapping& mapping)
{
    std::size_t width = 2;
    for (const auto& [keycode, keysyms] : mapping)
        width = std::max(width, keysyms.size());
    auto it = mapping.begin();
    while (it != mapping.end()) {
        const std::uint8_t first = it->first;
        std::vector<xcb_keysym_t> run;
        std::uint8_t next = first;
        for (; it != mapping.end() && it->first == next; ++it, ++next) {
            std::vector<xcb_keysym_t> keysyms = it->second;
            keysyms.resize(width, XCB_NO_SYMBOL);
            run.insert(run.end(), keysyms.begin(), keysyms.end());
        }
        xcb_change_keyboard_mapping(connection_.get(), static_cast<std::uint8_t>(next - first), first,
                                    static_cast<std::uint8_t>(width), run.data());
    }
}

void KeycodeLoan::restore() noexcept
{
    if (original_.empty())
        return;
    for (auto& [keycode, keysyms] : original_) {
        if (keysyms.empty())
            keysyms.push_back(XCB_NO_SYMBOL);
    }
    write(original_);
    original_.clear();
    xcb_connection_t* c = connection_.get();
    Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

KeycodeLoan::~KeycodeLoan()
{
    restore();
}

} // namespace qmpvx::x11
