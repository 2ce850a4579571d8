#pragma once

#include "core/AboutWindowController.h"
#include "ui/win32/EventDispatch.h"
#include "ui/win32/FormRenderer.h"

#include <memory>

namespace qmpvx::win32 {

// The About window, built afresh in its design state at every opening and
// shown modal over its owner (the owner is disabled meanwhile); the owner's
// timers keep ticking.
class Win32AboutWindow final : public ModalWindow {
public:
    Win32AboutWindow(SettingsStore& settings, EventDispatch& dispatch) : settings_(settings), dispatch_(dispatch) {}

    void setOwner(HWND owner) { owner_ = owner; }
    void showModal() override;

    // Closes the window if it is open, running its close operation.
    void close();
    Form* form() const { return form_.get(); }

private:
    SettingsStore& settings_;
    EventDispatch& dispatch_;
    HWND owner_ = nullptr;
    std::unique_ptr<Form> form_;
};

} // namespace qmpvx::win32
