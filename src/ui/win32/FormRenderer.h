#pragma once

#include "ui/Design.h"
#include "ui/win32/Win32Controls.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qmpvx::win32 {

// A window built with real Win32 controls from its design table; its controls
// looked up by their design names, its events handed on by name.
class Form {
public:
    using Handler = std::function<void()>;
    using Handlers = std::map<std::string, Handler, std::less<>>;

    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND handle() const { return window_; }
    HWND control(std::string_view name) const;
    bool destroyed() const { return window_ == nullptr; }

    Win32Window& window() { return *adapter_; }
    Button& button(std::string_view name) const { return *find(buttons_, name); }
    TickBox& tickBox(std::string_view name) const { return *find(tickBoxes_, name); }
    TextField& textField(std::string_view name) const { return *find(textFields_, name); }
    Label& label(std::string_view name) const { return *find(labels_, name); }
    Timer& timer(std::string_view name) const { return *find(timers_, name); }

    // Show the window and give the focus to the design's first control.
    void show();

    Handlers onClick;        // push buttons and tick boxes (after the tick changed)
    Handlers onDoubleClick;  // labels
    Handlers onTimer;
    Handler onEscape;        // Esc where the design names no cancel button
    // WM_CLOSE: runs before the window is hidden; the window is destroyed
    // once the current event is done, so the operation that closed it can
    // still read its controls.
    Handler onClose;
    Handler onDestroyed;

private:
    friend std::unique_ptr<Form> renderForm(const design::Window& design, HWND owner);
    Form(const design::Window& design) : design_(design) {}

    struct Child {
        const design::Control* design;
        HWND window;
    };
    struct FontDeleter {
        void operator()(HFONT font) const { DeleteObject(font); }
    };
    using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;
    struct BrushDeleter {
        void operator()(HBRUSH brush) const { DeleteObject(brush); }
    };

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void press(std::string_view name);
    void layout(UINT dpi);
    HFONT fontFor(const design::Font& font, UINT dpi);
    const Child* childOf(int id) const;

    template <typename Map>
    static typename Map::mapped_type::element_type* find(const Map& map, std::string_view name)
    {
        const auto found = map.find(name);
        if (found == map.end())
            throw std::logic_error("The window has no control " + std::string(name) + ".");
        return found->second.get();
    }

    const design::Window& design_;
    HWND window_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::map<int, Child> children_;  // by control id
    std::map<std::string, HFONT, std::less<>> fontsInUse_;
    std::vector<FontHandle> fonts_;
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter> displayBrush_;
    std::unique_ptr<Win32Window> adapter_;
    std::map<std::string, std::unique_ptr<Win32Button>, std::less<>> buttons_;
    std::map<std::string, std::unique_ptr<Win32TickBox>, std::less<>> tickBoxes_;
    std::map<std::string, std::unique_ptr<Win32TextField>, std::less<>> textFields_;
    std::map<std::string, std::unique_ptr<Win32Label>, std::less<>> labels_;
    std::map<std::string, std::unique_ptr<Win32Timer>, std::less<>> timers_;
};

// Builds the window in its design state, hidden. With an owner, the window
// stays above its owner (a modal window disables the owner itself).
std::unique_ptr<Form> renderForm(const design::Window& design, HWND owner = nullptr);

// The id of a control of a rendered window, as GetDlgItem takes it.
int controlId(const design::Window& design, std::string_view name);

} // namespace qmpvx::win32
