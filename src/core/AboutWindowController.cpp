#include "core/AboutWindowController.h"

namespace qmpvx {

AboutWindowController::AboutWindowController(Window& window, Label& creator, SettingsStore& settings)
    : window_(window), creator_(creator), settings_(settings)
{
}

void AboutWindowController::Form_Load()
{
    const std::vector<BadSetting> bad = settings_.restoreGeometry(window_, kAboutGeometry);
    if (!bad.empty())
        throw BadStoredSettings(bad, settings_.location());
}

void AboutWindowController::OK_BUTTON_Click()
{
    settings_.saveGeometry(window_, kAboutGeometry);
    window_.close();
}

void AboutWindowController::Form_Unload()
{
    settings_.saveGeometry(window_, kAboutGeometry);
}

void AboutWindowController::QM_PVX_CREATOR_DblClick()
{
    creator_.setCaption(kContactAddress);
}

} // namespace qmpvx
