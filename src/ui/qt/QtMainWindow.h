#pragma once

#include "forms/MainWindow.h"
#include "core/MainWindowController.h"
#include "ui/qt/EventDispatch.h"
#include "ui/qt/QtAboutWindow.h"
#include "ui/qt/FormRenderer.h"

#include <memory>

namespace qmpvx::qt {

// The main window as real widgets, its controls handed to the main window's
// logic and its events wired to the logic's operations.
class QtMainWindow {
public:
    QtMainWindow(SettingsStore& settings, const Executable& executable, Automation& automation,
                 EventDispatch& dispatch);

    // Loads the window (restoring its settings) and shows it.
    void start();

    RenderedForm& form() { return *form_; }
    MainWindow& controls() { return controls_; }
    QtAboutWindow& about() { return about_; }

private:
    void wire();

    EventDispatch& dispatch_;
    QtAboutWindow about_;
    std::unique_ptr<RenderedForm> form_;
    MainWindow controls_;
    MainWindowController controller_;
};

} // namespace qmpvx::qt
