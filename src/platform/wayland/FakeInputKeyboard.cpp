#include "platform/wayland/FakeInputKeyboard.h"

#include "fake-input-client.h"
#include "platform/wayland/WaylandDisplay.h"

#include <wayland-client.h>

namespace qmpvx::wayland {

namespace {

constexpr std::uint32_t kPressed = 1;
constexpr std::uint32_t kReleased = 0;

} // namespace

FakeInputKeyboard::FakeInputKeyboard(WaylandDisplay& display) : display_(display) {}

FakeInputKeyboard::~FakeInputKeyboard() { releaseAll(); }

void FakeInputKeyboard::key(std::uint32_t evdevCode, bool press)
{
    if (press)
        pressed_.insert(evdevCode);
    org_kde_kwin_fake_input_keyboard_key(display_.fakeInput(), evdevCode, press ? kPressed : kReleased);
    if (!press)
        pressed_.erase(evdevCode);
    wl_display_flush(display_.get());
}

void FakeInputKeyboard::releaseAll() noexcept
{
    for (const std::uint32_t code : pressed_)
        org_kde_kwin_fake_input_keyboard_key(display_.fakeInput(), code, kReleased);
    pressed_.clear();
    wl_display_flush(display_.get());
}

} // namespace qmpvx::wayland
