#pragma once

#include "core/AboutWindowController.h"
#include "ui/qt/EventDispatch.h"
#include "ui/qt/FormRenderer.h"

#include <QEventLoop>

#include <memory>

namespace qmpvx::qt {

// The About window, built afresh in its design state at every opening and
// shown modal over its owner; the main window's timers keep ticking.
class QtAboutWindow final : public ModalWindow {
public:
    QtAboutWindow(SettingsStore& settings, EventDispatch& dispatch) : settings_(settings), dispatch_(dispatch) {}

    void setOwner(QWidget* owner) { owner_ = owner; }
    void showModal() override;

    // Closes the window if it is open, running its close operation.
    void close();
    RenderedForm* form() const { return form_.get(); }

private:
    SettingsStore& settings_;
    EventDispatch& dispatch_;
    QWidget* owner_ = nullptr;
    std::unique_ptr<RenderedForm> form_;
    std::unique_ptr<AboutWindowController> controller_;
    QEventLoop* loop_ = nullptr;
};

} // namespace qmpvx::qt
