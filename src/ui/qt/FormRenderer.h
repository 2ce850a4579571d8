#pragma once

#include "ui/Design.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/Widgets.h"

#include <QTimer>

#include <map>
#include <memory>
#include <string>

class QAbstractButton;

namespace qmpvx::qt {

// Real Qt widgets built from a window's design table, and the controls the
// program's logic works on, looked up by their design names.
class RenderedForm {
public:
    FormWidget& widget() { return *widget_; }
    QWidget& widget(std::string_view name) const;
    QTimer& qtimer(std::string_view name) const;

    QtWindow& window() { return *window_; }
    Button& button(std::string_view name) const { return *find(buttons_, name); }
    TickBox& tickBox(std::string_view name) const { return *find(tickBoxes_, name); }
    TextField& textField(std::string_view name) const { return *find(textFields_, name); }
    Label& label(std::string_view name) const { return *find(labels_, name); }
    Timer& timer(std::string_view name) const { return *find(timers_, name); }

    // The window is destroyed with its close: its timers tick no more.
    void stopTimers();

private:
    friend std::unique_ptr<RenderedForm> renderForm(const design::Window& design, QWidget* owner);

    template <typename Map>
    static typename Map::mapped_type::element_type* find(const Map& map, std::string_view name)
    {
        const auto found = map.find(std::string(name));
        if (found == map.end())
            throw std::logic_error("The window has no control " + std::string(name) + ".");
        return found->second.get();
    }

    std::unique_ptr<FormWidget> widget_;
    std::unique_ptr<QtWindow> window_;
    std::map<std::string, QWidget*> widgets_;
    std::map<std::string, QTimer*> qtimers_;
    std::map<std::string, std::unique_ptr<QtButton>> buttons_;
    std::map<std::string, std::unique_ptr<QtTickBox>> tickBoxes_;
    std::map<std::string, std::unique_ptr<TextField>> textFields_;
    std::map<std::string, std::unique_ptr<QtLabel>> labels_;
    std::map<std::string, std::unique_ptr<QtTimer>> timers_;
};

// Builds the window in its design state, not yet shown. With an owner, the
// window is a modal window of that owner.
std::unique_ptr<RenderedForm> renderForm(const design::Window& design, QWidget* owner = nullptr);

// The face to use for the design's face, where the design's is missing.
QFont fontFor(const design::Font& font);

} // namespace qmpvx::qt
