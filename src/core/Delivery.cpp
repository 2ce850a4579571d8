#include "core/Delivery.h"

#include "core/StatusTexts.h"
#include "platform/keys/Utf8.h"

#include <stdexcept>

namespace qmpvx {

namespace {

// A field still holding stored bytes that are not text: no window is looked
// for by such a title, nothing is typed from such a text.
void requireReadable(const TextField& field, const char* what)
{
    if (keys::decodeUtf8(field.text()).invalidByte)
        throw std::runtime_error(std::string("The ") + what + " could not be read from the settings (it is not "
                                 "valid UTF-8 text). Enter it again. Nothing was typed.");
}

} // namespace

void deliver(MainWindow& w, Automation& automation, DeliveryKind kind)
{
    requireReadable(w.WINDOW_NAME_TEXTBOX, "target window title");
    requireReadable(w.TEXT_TO_SEND_TEXTBOX, "text to send");
    automation.AppActivate(w.WINDOW_NAME_TEXTBOX.text());
    const std::unique_ptr<ShellObject> shell = automation.CreateObject("WScript.Shell");
    shell->SendKeys(w.TEXT_TO_SEND_TEXTBOX.text(), true);
    if (kind == DeliveryKind::Manual)
        w.CURRENT_STATUS_LABEL.setCaption(status::kTextSent);
    if (isTicked(w.AUTO_ENTER_KEY_TICKBOX)) {
        // The title is read again: the Enter gets an activation of its own.
        automation.AppActivate(w.WINDOW_NAME_TEXTBOX.text());
        shell->SendKeys("{Enter}");
    }
}

} // namespace qmpvx
