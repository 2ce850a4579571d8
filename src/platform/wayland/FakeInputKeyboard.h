#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qmpvx::wayland {

class WaylandDisplay;

// Keys pressed through KWin's fake input for one send. Whatever way the send
// ends, every key still down is released, so nothing stays held on the seat.
// KWin keeps the keys of a killed client held (a Shift then capitalises what
// the user types), so the keys a send may press are noted in a file of the
// user's runtime folder while it runs; the next send releases those of a run
// that ended without removing its file.
class FakeInputKeyboard {
public:
    // `display` must have fake input (fakeInput()). `mayPress`: every key the send may press.
    FakeInputKeyboard(WaylandDisplay& display, const std::vector<std::uint32_t>& mayPress);
    ~FakeInputKeyboard();
    FakeInputKeyboard(const FakeInputKeyboard&) = delete;
    FakeInputKeyboard& operator=(const FakeInputKeyboard&) = delete;

    // An evdev key code; sent at once.
    void key(std::uint32_t evdevCode, bool press);
    void releaseAll() noexcept;

private:
    void releaseKeysOfEndedRuns();

    WaylandDisplay& display_;
    std::set<std::uint32_t> pressed_;
    std::string noteFile_;
};

} // namespace qmpvx::wayland
