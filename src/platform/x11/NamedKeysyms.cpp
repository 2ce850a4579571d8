#include "platform/x11/KeymapIndex.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <array>

namespace qmpvx::x11 {
namespace {

using keys::NamedKey;

// In the order of NamedKey. Keypad operators are the keypad's own keysyms, so
// that applications see the keypad key and not the character.
constexpr std::array<xkb_keysym_t, keys::kNamedKeyCount> kNamedKeysyms = {
    XKB_KEY_BackSpace, XKB_KEY_Break, XKB_KEY_Caps_Lock, XKB_KEY_Clear, XKB_KEY_Delete, XKB_KEY_Down,
    XKB_KEY_End, XKB_KEY_Return, XKB_KEY_Escape, XKB_KEY_Help, XKB_KEY_Home, XKB_KEY_Insert,
    XKB_KEY_Left, XKB_KEY_Num_Lock, XKB_KEY_Next, XKB_KEY_Prior, XKB_KEY_Print, XKB_KEY_Right,
    XKB_KEY_Scroll_Lock, XKB_KEY_Tab, XKB_KEY_Up,
    XKB_KEY_F1, XKB_KEY_F2, XKB_KEY_F3, XKB_KEY_F4, XKB_KEY_F5, XKB_KEY_F6, XKB_KEY_F7, XKB_KEY_F8,
    XKB_KEY_F9, XKB_KEY_F10, XKB_KEY_F11, XKB_KEY_F12, XKB_KEY_F13, XKB_KEY_F14, XKB_KEY_F15,
    XKB_KEY_F16,
    XKB_KEY_KP_Add, XKB_KEY_KP_Subtract, XKB_KEY_KP_Multiply, XKB_KEY_KP_Divide,
};
static_assert(kNamedKeysyms[static_cast<std::size_t>(NamedKey::Enter)] == XKB_KEY_Return);
static_assert(kNamedKeysyms[static_cast<std::size_t>(NamedKey::Up)] == XKB_KEY_Up);
static_assert(kNamedKeysyms[static_cast<std::size_t>(NamedKey::F1)] == XKB_KEY_F1);
static_assert(kNamedKeysyms[static_cast<std::size_t>(NamedKey::KeypadDivide)] == XKB_KEY_KP_Divide);

// The left-hand keys: the ones every keyboard has.
constexpr std::array<xkb_keysym_t, 3> kModifierKeysyms = {XKB_KEY_Shift_L, XKB_KEY_Control_L, XKB_KEY_Alt_L};

} // namespace

xkb_keysym_t keysymOf(keys::NamedKey key)
{
    return kNamedKeysyms.at(static_cast<std::size_t>(key));
}

xkb_keysym_t keysymOf(keys::Modifier modifier)
{
    return kModifierKeysyms.at(static_cast<std::size_t>(modifier));
}

} // namespace qmpvx::x11
