#pragma once

#include <chrono>
#include <string>

struct sd_bus;

namespace qmpvx::wayland {

// The program's own connection to the user's session bus (D-Bus), used
// from one thread and only while a send runs: nothing is read in between.
class SessionBus {
public:
    // Throws std::runtime_error when there is no session bus to reach.
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    sd_bus* get() const { return bus_; }
    // This connection's unique name (":1.42"), where others reach it.
    std::string uniqueName() const;
    // The unique name of the owner of a well-known name; empty when none.
    std::string ownerOf(const char* name) const;

    // Handles every message that has arrived, without waiting.
    void dispatchPending();
    // Waits at most `timeout` for a message, then handles what has arrived.
    void dispatchWithin(std::chrono::milliseconds timeout);

private:
    sd_bus* bus_ = nullptr;
};

} // namespace qmpvx::wayland
