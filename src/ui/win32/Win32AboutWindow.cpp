#include "ui/win32/Win32AboutWindow.h"

#include "ui/win32/MessageLoop.h"

namespace qmpvx::win32 {

void Win32AboutWindow::showModal()
{
    if (form_)
        return;
    form_ = renderForm(design::kAboutWindow, owner_);
    AboutWindowController controller(form_->window(), form_->label("QM_PVX_CREATOR"), settings_);

    form_->onClick["OK_BUTTON"] = [this, &controller] { dispatch_.run([&] { controller.OK_BUTTON_Click(); }); };
    form_->onDoubleClick["QM_PVX_CREATOR"] = [this, &controller] {
        dispatch_.run([&] { controller.QM_PVX_CREATOR_DblClick(); });
    };
    form_->onEscape = [this] { form_->window().close(); };
    form_->onClose = [this, &controller] {
        dispatch_.run([&] { controller.Form_Unload(); });
        // The owner takes the activation back only if it is enabled first.
        if (owner_)
            EnableWindow(owner_, TRUE);
    };

    dispatch_.run([&] { controller.Form_Load(); });
    if (owner_)
        EnableWindow(owner_, FALSE);
    form_->show();
    runMessages([this] { return form_->destroyed(); });
    form_.reset();
}

void Win32AboutWindow::close()
{
    if (form_ && !form_->destroyed() && IsWindowVisible(form_->handle()))
        form_->window().close();
}

} // namespace qmpvx::win32
