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
// keeps running. A termination request (a signal) that arrived meanwhile
// ends the program once the operation has stopped, instead of a dialog.
class EventDispatch {
public:
    EventDispatch();
    ~EventDispatch();
    EventDispatch(const EventDispatch&) = delete;
    EventDispatch& operator=(const EventDispatch&) = delete;

    // True when the operation ran to its end.
    bool run(const std::function<void()>& operation) noexcept;

    // Closes the dialog, shown or about to be: what it reports has been
    // overcome, and it must not keep the program alive after its main window.
    void withdraw() noexcept;

    // The dialog as the user sees it; empty until a first failure.
    QMessageBox* dialog() const { return dialog_.data(); }

private:
    // Shows the message in the one dialog; never throws.
    void report(const std::string& message) noexcept;

    QPointer<QMessageBox> dialog_;
};

} // namespace qmpvx::qt
