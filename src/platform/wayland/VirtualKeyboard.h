#pragma once

#include <cstdint>
#include <set>
#include <string>

struct zwp_virtual_keyboard_v1;

namespace qmpvx::wayland {

class WaylandDisplay;

// A keyboard of this program's own on the seat, for one send. Whatever way
// the send ends, its keys are released, its modifiers cleared and it is
// destroyed, so nothing stays held on the seat.
class VirtualKeyboard {
public:
    explicit VirtualKeyboard(WaylandDisplay& display);
    ~VirtualKeyboard();
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

    // Uploads an xkb keymap; the keys after it are read with it.
    void useKeymap(const std::string& keymap);
    void setModifiers(std::uint32_t depressed);
    // Press and release of an xkb keycode.
    void tap(std::uint32_t keycode);
    // Releases what is held and clears the modifiers.
    void releaseAll() noexcept;

private:
    void key(std::uint32_t keycode, bool press);

    WaylandDisplay& display_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::set<std::uint32_t> pressed_;
    std::uint32_t modifiers_ = 0;
    bool hasKeymap_ = false;
};

} // namespace qmpvx::wayland
