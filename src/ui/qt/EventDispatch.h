#pragma once

#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <string>


namespace qmpvx::qt {

// Every window event reaches the program's operations through run(): this is
// the one place where a failure is caught. The operation has stopped at the
// failing step; the error is written to standard error and shown in one
// non-modal dialog, which is reused rather than stacked, and the program
// keeps running.
class EventDispatch {
public:
    EventDispatch();
    ~EventDispatch();
    EventDispatch(const EventDispatch&) = delete;
    EventDispatch& operator=(const EventDispatch&) = delete;

    void run(const std::function<void()>& operation) noexcept;

    // The dialog as the user sees it; empty until a first failure.
    QMessageBox* dialog() const { return dialog_.data(); }

private:
    // Shows the message in the one dialog; never throws.
    void report(const std::string& message) noexcept;

    QPointer<QMessageBox> dialog_;
};

} // namespace qmpvx::qt
