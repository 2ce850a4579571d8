#pragma once

#include "forms/Controls.h"
#include "settings/SettingsStore.h"

#include <string_view>

namespace qmpvx {

// A window shown modal: the call returns once it has been closed.
class ModalWindow {
public:
    virtual ~ModalWindow() = default;
    virtual void showModal() = 0;
};

// The About window QM_PVX_ABOUT: it remembers its position and shows the
// contact address on a double-click of the creator's credit. It never touches
// the main window.
class AboutWindowController {
public:
    static constexpr std::string_view kContactAddress = "ketrovan5@quillmarsh.example";

    AboutWindowController(Window& window, Label& creator, SettingsStore& settings);

    // A bad stored value takes its default and is reported once the window
    // is placed, as in the main window.
    void Form_Load();
    void OK_BUTTON_Click();
    void Form_Unload();
    void QM_PVX_CREATOR_DblClick();

private:
    Window& window_;
    Label& creator_;
    SettingsStore& settings_;
};

} // namespace qmpvx
