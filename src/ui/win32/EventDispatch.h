#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qmpvx::win32 {

// Every window event reaches the program's operations through run(): this is
// the one place where a failure is caught. The operation has stopped at the
// failing step; the error is written to standard error and shown in one
// non-modal window, which is reused rather than stacked, and the program
// keeps running.
class EventDispatch {
public:
    EventDispatch() = default;
    ~EventDispatch();
    EventDispatch(const EventDispatch&) = delete;
    EventDispatch& operator=(const EventDispatch&) = delete;

    // True when the operation ran to its end.
    bool run(const std::function<void()>& operation) noexcept;

    // Hides the error window, shown or about to be: what it reports has been
    // overcome, and it must not keep the program alive after its main window.
    void withdraw() noexcept;

    // The error window as the user sees it; null until a first failure.
    HWND dialog() const { return dialog_; }
    // Shown, or about to be.
    bool dialogShown() const { return wanted_; }
    // Called when the user dismisses the error window.
    std::function<void()> onDialogClosed;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Shows the message in the one dialog; never throws.
    void report(const std::string& message) noexcept;
    void createDialog();
    void arrange(const std::wstring& text);

    HWND dialog_ = nullptr;
    HWND icon_ = nullptr;
    HWND text_ = nullptr;
    HWND ok_ = nullptr;
    HFONT font_ = nullptr;
    bool wanted_ = false;  // a report waits to be shown or is shown
};

} // namespace qmpvx::win32
