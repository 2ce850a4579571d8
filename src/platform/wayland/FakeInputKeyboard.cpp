#include "platform/wayland/FakeInputKeyboard.h"

#include "fake-input-client.h"
#include "platform/wayland/WaylandDisplay.h"

#include <wayland-client.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace qmpvx::wayland {

namespace {

constexpr std::uint32_t kPressed = 1;
constexpr std::uint32_t kReleased = 0;
constexpr std::string_view kNotePrefix = "qm-pvx-kwin-keys.";

std::string runtimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? runtime : "";
}

} // namespace

FakeInputKeyboard::FakeInputKeyboard(WaylandDisplay& display, const std::vector<std::uint32_t>& mayPress)
    : display_(display)
{
    releaseKeysOfEndedRuns();
    const std::string folder = runtimeFolder();
    if (folder.empty())
        return;
    noteFile_ = folder + "/" + std::string(kNotePrefix) + std::to_string(getpid());
    std::ofstream note(noteFile_, std::ios::trunc);
    for (const std::uint32_t code : mayPress)
        note << code << '\n';
}

FakeInputKeyboard::~FakeInputKeyboard()
{
    releaseAll();
    if (!noteFile_.empty())
        unlink(noteFile_.c_str());
}

void FakeInputKeyboard::releaseKeysOfEndedRuns()
{
    const std::string folder = runtimeFolder();
    struct Closer {
        void operator()(DIR* dir) const noexcept { closedir(dir); }
    };
    const std::unique_ptr<DIR, Closer> dir(folder.empty() ? nullptr : opendir(folder.c_str()));
    if (!dir)
        return;
    bool released = false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(kNotePrefix))
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(name.substr(kNotePrefix.size()).data()));
        // A run still going holds its keys on purpose.
        if (pid <= 0 || pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        const std::string path = folder + "/" + std::string(name);
        std::ifstream note(path);
        std::uint32_t code = 0;
        while (note >> code) {
            org_kde_kwin_fake_input_keyboard_key(display_.fakeInput(), code, kReleased);
            released = true;
        }
        unlink(path.c_str());
    }
    if (released)
        wl_display_flush(display_.get());
}

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
