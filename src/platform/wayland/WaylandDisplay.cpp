#include "platform/wayland/WaylandDisplay.h"

#include "fake-input-client.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qmpvx::wayland {

namespace {

constexpr std::uint32_t kToplevelVersion = 3;
constexpr std::uint32_t kFakeInputKeysVersion = 4;
constexpr std::uint32_t kKeymapFormatXkb = 1; // WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1
constexpr std::uint32_t kStateActivated = 2;

} // namespace

struct WaylandDisplay::Listeners {
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version)
    {
        auto* self = static_cast<WaylandDisplay*>(data);
        const std::string_view offered(interface);
        if (offered == wl_seat_interface.name && !self->seat_) {
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            wl_seat_add_listener(self->seat_, &seatListener, self);
        } else if (offered == zwlr_foreign_toplevel_manager_v1_interface.name) {
            self->toplevelManager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
                registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, kToplevelVersion)));
            zwlr_foreign_toplevel_manager_v1_add_listener(self->toplevelManager_, &managerListener, self);
        } else if (offered == zwp_virtual_keyboard_manager_v1_interface.name) {
            self->virtualKeyboards_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        } else if (offered == org_kde_kwin_fake_input_interface.name) {
            if (version < kFakeInputKeysVersion) {
                self->fakeInputWithoutKeys_ = true;
                return;
            }
            self->fakeInput_ = static_cast<org_kde_kwin_fake_input*>(
                wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kFakeInputKeysVersion));
            // KWin ignores every request of a device that has not introduced itself.
            org_kde_kwin_fake_input_authenticate(self->fakeInput_, "QM-PVX",
                                                 "Types the configured text into the window you named");
        }
    }
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}

    static void capabilities(void* data, wl_seat* seat, std::uint32_t capabilities)
    {
        auto* self = static_cast<WaylandDisplay*>(data);
        self->seatCapabilities_ = capabilities;
        if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !self->keyboard_) {
            self->keyboard_ = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(self->keyboard_, &keyboardListener, self);
        }
    }

    static void keymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size)
    {
        static_cast<WaylandDisplay*>(data)->keymapReceived(format, fd, size);
    }
    static void enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void leave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
    static void key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    static void modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t)
    {
    }

    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle)
    {
        auto* self = static_cast<WaylandDisplay*>(data);
        Toplevel& added = self->toplevels_.emplace_back();
        added.id = self->nextId_++;
        added.handle = handle;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, &added);
    }
    static void finished(void*, zwlr_foreign_toplevel_manager_v1*) {}

    static void title(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title)
    {
        static_cast<Toplevel*>(data)->pendingTitle = title;
    }
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId)
    {
        static_cast<Toplevel*>(data)->pendingAppId = appId;
    }
    static void output(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states)
    {
        auto* toplevel = static_cast<Toplevel*>(data);
        bool activated = false;
        const auto* begin = static_cast<const std::uint32_t*>(states->data);
        for (const std::uint32_t* s = begin; s < begin + states->size / sizeof(std::uint32_t); ++s)
            activated |= *s == kStateActivated;
        // At once, not at `done`: wlroots sends `done` from its idle callback,
        // after the answer to a round trip made right after the focus moved.
        toplevel->activated = activated;
    }
    static void done(void* data, zwlr_foreign_toplevel_handle_v1*)
    {
        auto* toplevel = static_cast<Toplevel*>(data);
        toplevel->title = toplevel->pendingTitle;
        toplevel->appId = toplevel->pendingAppId;
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
    {
        auto* toplevel = static_cast<Toplevel*>(data);
        toplevel->closed = true;
        toplevel->activated = false;
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        toplevel->handle = nullptr;
    }
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

    static constexpr wl_registry_listener registryListener{global, globalRemove};
    static constexpr wl_seat_listener seatListener{capabilities, [](void*, wl_seat*, const char*) {}};
    static constexpr wl_keyboard_listener keyboardListener{keymap, enter, leave, key, modifiers,
                                                           [](void*, wl_keyboard*, std::int32_t, std::int32_t) {}};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener managerListener{toplevel, finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener handleListener{title,  appId, output, output, state,
                                                                             done,   closed, parent};
};

WaylandDisplay::WaylandDisplay() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{
    display_ = wl_display_connect(nullptr);
    if (!display_)
        throw std::runtime_error("Could not connect to the Wayland compositor.");
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &Listeners::registryListener, this);
    // Globals, then the seat's capabilities and the toplevels, then their
    // titles and states and the seat's keymap.
    for (int i = 0; i < 3; ++i)
        roundTrip();
}

WaylandDisplay::~WaylandDisplay()
{
    for (Toplevel& toplevel : toplevels_) {
        if (toplevel.handle)
            zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
    }
    if (toplevelManager_)
        zwlr_foreign_toplevel_manager_v1_destroy(toplevelManager_);
    if (virtualKeyboards_)
        zwp_virtual_keyboard_manager_v1_destroy(virtualKeyboards_);
    if (fakeInput_)
        org_kde_kwin_fake_input_destroy(fakeInput_);
    if (keyboard_)
        wl_keyboard_destroy(keyboard_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandDisplay::roundTrip()
{
    if (wl_display_roundtrip(display_) < 0)
        throw std::runtime_error("The connection to the Wayland compositor was lost.");
    toplevels_.remove_if([](const Toplevel& toplevel) { return toplevel.closed; });
}

bool WaylandDisplay::broken() const { return wl_display_get_error(display_) != 0; }

const Toplevel* WaylandDisplay::find(std::uint64_t id) const
{
    for (const Toplevel& toplevel : toplevels_) {
        if (toplevel.id == id && !toplevel.closed)
            return &toplevel;
    }
    return nullptr;
}

bool WaylandDisplay::otherActivated(std::uint64_t id) const
{
    return std::ranges::any_of(toplevels_, [id](const Toplevel& t) { return t.id != id && t.activated; });
}

void WaylandDisplay::activate(const Toplevel& toplevel)
{
    zwlr_foreign_toplevel_handle_v1_activate(toplevel.handle, seat_);
    wl_display_flush(display_);
}

void WaylandDisplay::keymapReceived(std::uint32_t format, int fd, std::uint32_t size)
{
    // Only the first: later ones may be a virtual keyboard's, this program's own included.
    if (format == kKeymapFormatXkb && size > 0 && !seatKeymap_) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            const std::string text(static_cast<const char*>(mapped), strnlen(static_cast<const char*>(mapped), size));
            munmap(mapped, size);
            seatKeymap_.reset(xkb_keymap_new_from_string(context_.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                          XKB_KEYMAP_COMPILE_NO_FLAGS));
        }
    }
    close(fd);
}

} // namespace qmpvx::wayland
