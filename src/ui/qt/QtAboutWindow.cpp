#include "ui/qt/QtAboutWindow.h"

#include <QPushButton>
#include <QShortcut>

namespace qmpvx::qt {

void QtAboutWindow::showModal()
{
    if (form_)
        return;
    form_ = renderForm(design::kAboutWindow, owner_);
    controller_ = std::make_unique<AboutWindowController>(form_->window(), form_->label("QM_PVX_CREATOR"), settings_);
    AboutWindowController& controller = *controller_;

    auto* ok = static_cast<QPushButton*>(&form_->widget("OK_BUTTON"));
    QObject::connect(ok, &QPushButton::clicked, ok, [this, &controller] {
        dispatch_.run([&controller] { controller.OK_BUTTON_Click(); });
    });
    new DoubleClickFilter(&form_->widget("QM_PVX_CREATOR"),
                          [this, &controller] { dispatch_.run([&controller] { controller.QM_PVX_CREATOR_DblClick(); }); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), &form_->widget());
    QObject::connect(escape, &QShortcut::activated, &form_->widget(), [this] { form_->widget().close(); });

    QEventLoop loop;
    loop_ = &loop;
    form_->widget().onClose = [this, &controller] {
        dispatch_.run([&controller] { controller.Form_Unload(); });
        if (loop_)
            loop_->quit();
    };
    dispatch_.run([&controller] { controller.Form_Load(); });
    form_->widget().show();
    loop.exec();
    loop_ = nullptr;
    form_->widget().onClose = nullptr;
    controller_.reset();
    form_.reset();
}

void QtAboutWindow::close()
{
    if (form_ && form_->widget().isVisible())
        form_->widget().close();
}

} // namespace qmpvx::qt
