#pragma once

#include "platform/Automation.h"

#include <windows.h>

#include <string>

namespace qmpvx::win32 {

// Activation by title among the visible top-level windows of other programs,
// and typing with SendInput into the window activated last.
class Win32Automation final : public Automation {
public:
    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

    void type(std::string_view keys, bool wait);

private:
    HWND target_ = nullptr;
    std::string title_;
};

// The program's own name: its file name without directory and ".exe".
std::string executableName();

} // namespace qmpvx::win32
