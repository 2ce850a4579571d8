#pragma once

#include "platform/x11/KeymapIndex.h"

#include <stdexcept>
#include <string>

namespace qmpvx::x11::test {

// Keyboard maps as the X server compiles them for a PC keyboard; needs xkb-data.
inline XkbKeymap compileKeymap(const char* layouts)
{
    static const XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{.rules = "evdev", .model = "pc105", .layout = layouts, .variant = nullptr,
                               .options = nullptr};
    XkbKeymap keymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw std::runtime_error(std::string("cannot compile layout ") + layouts + " (is xkb-data installed?)");
    return keymap;
}

} // namespace qmpvx::x11::test
