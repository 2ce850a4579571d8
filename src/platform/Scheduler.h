#pragma once

#include <chrono>
#include <functional>

namespace qmpvx {

// Work a platform service does later, on the user-interface thread, between
// the window's events (giving borrowed keycodes back, say).
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs `work` once, about `delay` from now. A failure of it is reported
    // like a failed operation.
    virtual void runLater(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

} // namespace qmpvx
