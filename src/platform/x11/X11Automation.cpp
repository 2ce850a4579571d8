#include "platform/x11/X11Automation.h"

#include "platform/keys/KeyNotation.h"
#include "platform/x11/Activation.h"

#include <stdexcept>

namespace qmpvx::x11 {

namespace {

class X11Shell final : public ShellObject {
public:
    explicit X11Shell(X11Automation& automation) : automation_(automation) {}
    void SendKeys(std::string_view keys, bool wait) override { automation_.type(keys, wait); }

private:
    X11Automation& automation_;
};

} // namespace

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
    if (className != "WScript.Shell")
        throw std::runtime_error("Cannot create the object \"" + std::string(className) + "\".");
    return std::make_unique<X11Shell>(*this);
}

void X11Automation::type(std::string_view keys, bool wait)
{
    if (!target_)
        throw std::runtime_error("No window was brought to the foreground to type into. Nothing was typed.");
    // The whole text is checked before anything is typed.
    std::vector<keys::KeyAction> actions;
    try {
        actions = keys::parseKeyNotation(keys);
    } catch (const keys::KeyNotationError& error) {
        throw std::runtime_error("Nothing was typed into \"" + target_->title + "\": " + error.what());
    }
    if (!holdsFocus(connection(), target_->window))
        throw std::runtime_error("The window \"" + target_->title +
                                 "\" no longer has the focus. Nothing was typed.");
    typeWithXTest(connection(), actions, *target_, wait);
}

} // namespace qmpvx::x11
