#pragma once

#include "Fakes.h"

#include "core/MainWindowController.h"

#include <gtest/gtest.h>

namespace qmpvx::test {

// The main window's logic on fake controls, a recording settings service and
// a recording keystroke service; closing the window runs its close operation.
class MainWindowFixture : public ::testing::Test {
protected:
    FakeMainWindow w;
    FakeSettings service;
    StartedExecutable exe{"qm-pvx"};
    SettingsStore store{service, exe};
    RecordingAutomation automation;
    struct CountingAbout : ModalWindow {
        int shown = 0;
        void showModal() override { ++shown; }
    } about;
    MainWindowController controller{w.controls, store, exe, automation, about};

    MainWindowFixture()
    {
        w.window.onClose = [this] { controller.Form_Unload(); };
        automation.status = &w.status;
    }
};

} // namespace qmpvx::test
