#include "platform/wayland/SessionBus.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <stdexcept>

namespace qmpvx::wayland {

namespace {

std::runtime_error lost(int error)
{
    return std::runtime_error(std::string("The connection to the session bus (D-Bus) was lost: ") +
                              std::strerror(-error) + ".");
}

} // namespace

SessionBus::SessionBus()
{
    const int error = sd_bus_open_user(&bus_);
    if (error < 0)
        throw std::runtime_error(std::string("Could not connect to the session bus (D-Bus): ") +
                                 std::strerror(-error) + ". Start the program inside the desktop session. "
                                 "Nothing was typed.");
}

SessionBus::~SessionBus() { sd_bus_flush_close_unref(bus_); }

std::string SessionBus::uniqueName() const
{
    const char* name = nullptr;
    if (const int error = sd_bus_get_unique_name(bus_, &name); error < 0)
        throw lost(error);
    return name;
}

std::string SessionBus::ownerOf(const char* name) const
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    std::string owner;
    if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetNameOwner", &error, &reply, "s", name) >= 0) {
        const char* unique = nullptr;
        if (sd_bus_message_read(reply, "s", &unique) >= 0 && unique)
            owner = unique;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return owner;
}

void SessionBus::dispatchPending()
{
    for (;;) {
        const int handled = sd_bus_process(bus_, nullptr);
        if (handled < 0)
            throw lost(handled);
        if (handled == 0)
            return;
    }
}

void SessionBus::dispatchWithin(std::chrono::milliseconds timeout)
{
    dispatchPending();
    const int waited = sd_bus_wait(bus_, static_cast<std::uint64_t>(timeout.count()) * 1000);
    if (waited < 0 && waited != -EINTR)
        throw lost(waited);
    dispatchPending();
}

} // namespace qmpvx::wayland
