#pragma once

#include "forms/MainWindow.h"
#include "core/MainWindowController.h"
#include "ui/win32/EventDispatch.h"
#include "ui/win32/FormRenderer.h"
#include "ui/win32/Win32AboutWindow.h"

#include <memory>

namespace qmpvx::win32 {

// The main window as real Win32 controls, its controls handed to the main
// window's logic and its events wired to the logic's operations.
class Win32MainWindow {
public:
    Win32MainWindow(SettingsStore& settings, const Executable& executable, Automation& automation,
                    EventDispatch& dispatch);

    // Loads the window (restoring its settings) and shows it.
    void start();

    Form& form() { return *form_; }
    Win32AboutWindow& about() { return about_; }

private:
    void wire();

    EventDispatch& dispatch_;
    Win32AboutWindow about_;
    std::unique_ptr<Form> form_;
    MainWindow controls_;
    MainWindowController controller_;
};

} // namespace qmpvx::win32
