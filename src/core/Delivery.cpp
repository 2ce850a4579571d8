#include "core/Delivery.h"

#include "core/StatusTexts.h"

namespace qmpvx {

void deliver(MainWindow& w, Automation& automation, DeliveryKind kind)
{
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
