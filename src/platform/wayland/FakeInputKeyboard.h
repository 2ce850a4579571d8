#pragma once

#include <cstdint>
#include <set>

namespace qmpvx::wayland {

class WaylandDisplay;

// Keys pressed through KWin's fake input for one send. Whatever way the send
// ends, every key still down is released, so nothing stays held on the seat.
class FakeInputKeyboard {
public:
    // `display` must have fake input (fakeInput()).
    explicit FakeInputKeyboard(WaylandDisplay& display);
    ~FakeInputKeyboard();
    FakeInputKeyboard(const FakeInputKeyboard&) = delete;
    FakeInputKeyboard& operator=(const FakeInputKeyboard&) = delete;

    // An evdev key code; sent at once.
    void key(std::uint32_t evdevCode, bool press);
    void releaseAll() noexcept;

private:
    WaylandDisplay& display_;
    std::set<std::uint32_t> pressed_;
};

} // namespace qmpvx::wayland
