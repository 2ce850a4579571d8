#include "platform/wayland/VirtualKeyboard.h"

#include "platform/wayland/WaylandDisplay.h"
#include "virtual-keyboard-unstable-v1-client.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace qmpvx::wayland {

namespace {

constexpr std::uint32_t kKeymapFormatXkb = 1;
constexpr std::uint32_t kEvdevOffset = 8;
constexpr std::uint32_t kPressed = 1;
constexpr std::uint32_t kReleased = 0;

std::uint32_t now()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The keymap in a file the compositor can map, as the protocol passes it.
class KeymapFile {
public:
    explicit KeymapFile(const std::string& keymap) : fd_(memfd_create("qm-pvx-keymap", MFD_CLOEXEC))
    {
        if (fd_ < 0)
            throw std::runtime_error("Could not make a keymap for the virtual keyboard.");
        const char* data = keymap.c_str();
        std::size_t left = keymap.size() + 1; // with its terminating NUL
        while (left > 0) {
            const ssize_t written = write(fd_, data, left);
            if (written <= 0) {
                close(fd_);
                throw std::runtime_error("Could not make a keymap for the virtual keyboard.");
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    ~KeymapFile() { close(fd_); }
    KeymapFile(const KeymapFile&) = delete;
    KeymapFile& operator=(const KeymapFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace

VirtualKeyboard::VirtualKeyboard(WaylandDisplay& display) : display_(display)
{
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(display.virtualKeyboards(), display.seat());
    if (!keyboard_)
        throw std::runtime_error("The compositor gave no virtual keyboard.");
}

VirtualKeyboard::~VirtualKeyboard()
{
    releaseAll();
    zwp_virtual_keyboard_v1_destroy(keyboard_);
    wl_display_flush(display_.get());
}

void VirtualKeyboard::useKeymap(const std::string& keymap)
{
    const KeymapFile file(keymap);
    zwp_virtual_keyboard_v1_keymap(keyboard_, kKeymapFormatXkb, file.fd(), static_cast<std::uint32_t>(keymap.size() + 1));
    // The fd is sent when the request is flushed; it may be closed after that.
    wl_display_flush(display_.get());
    hasKeymap_ = true;
    // A new keymap starts with a new keyboard state: no modifiers.
    modifiers_ = 0;
}

void VirtualKeyboard::setModifiers(std::uint32_t depressed)
{
    if (depressed == modifiers_)
        return;
    zwp_virtual_keyboard_v1_modifiers(keyboard_, depressed, 0, 0, 0);
    modifiers_ = depressed;
}

void VirtualKeyboard::tap(std::uint32_t keycode)
{
    key(keycode, true);
    key(keycode, false);
    wl_display_flush(display_.get());
}

void VirtualKeyboard::key(std::uint32_t keycode, bool press)
{
    zwp_virtual_keyboard_v1_key(keyboard_, now(), keycode - kEvdevOffset, press ? kPressed : kReleased);
    if (press)
        pressed_.insert(keycode);
    else
        pressed_.erase(keycode);
}

void VirtualKeyboard::releaseAll() noexcept
{
    // A keyboard without a keymap may send nothing at all.
    if (!hasKeymap_)
        return;
    for (const std::uint32_t keycode : pressed_)
        zwp_virtual_keyboard_v1_key(keyboard_, now(), keycode - kEvdevOffset, kReleased);
    pressed_.clear();
    if (modifiers_ != 0)
        zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    modifiers_ = 0;
    wl_display_flush(display_.get());
}

} // namespace qmpvx::wayland
