#include "platform/x11/X11Automation.h"

#include "platform/ShellObjects.h"
#include "platform/x11/Activation.h"

#include <stdexcept>

namespace qmpvx::x11 {

XConnection& X11Automation::connection()
{
    if (!connection_ || xcb_connection_has_error(connection_->get()))
        connection_ = std::make_unique<XConnection>();
    return *connection_;
}

void X11Automation::AppActivate(std::string_view title)
{
    target_.reset();
    const xcb_window_t window = activateByTitle(connection(), title);
    target_ = TypingTarget{window, std::string(title)};
}

std::unique_ptr<ShellObject> X11Automation::CreateObject(std::string_view className)
{
    return createShellObject(className, [this](std::string_view keys, bool wait) { type(keys, wait); });
}

void X11Automation::type(std::string_view keys, bool wait)
{
    const std::vector<keys::KeyAction> actions =
        keysToType(keys, target_ ? std::optional<std::string>(target_->title) : std::nullopt);
    if (!holdsFocus(connection(), target_->window))
        throw std::runtime_error("The window \"" + target_->title +
                                 "\" no longer has the focus. Nothing was typed.");
    typeWithXTest(connection(), actions, *target_, wait);
}

} // namespace qmpvx::x11
