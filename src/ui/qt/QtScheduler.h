#pragma once

#include "platform/Scheduler.h"
#include "ui/qt/EventDispatch.h"

namespace qmpvx::qt {

// Later work on Qt's event loop, run through the event dispatch like any
// window event.
class QtScheduler final : public Scheduler {
public:
    explicit QtScheduler(EventDispatch& dispatch) : dispatch_(dispatch) {}
    void runLater(std::chrono::milliseconds delay, std::function<void()> work) override;

private:
    EventDispatch& dispatch_;
};

} // namespace qmpvx::qt
