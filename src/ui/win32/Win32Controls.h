#pragma once

#include "forms/Controls.h"
#include "ui/Twips.h"

#include <windows.h>


namespace qmpvx::win32 {

// The program's controls over real Win32 controls: each reads and writes its
// window, so the window stays the state.

class Win32Button final : public Button {
public:
    explicit Win32Button(HWND button) : button_(button) {}
    std::string caption() const override;
    void setCaption(std::string_view caption) override;
    bool enabled() const override;
    void setEnabled(bool enabled) override;

private:
    HWND button_;
};

// A BS_3STATE button: the greyed value is BST_INDETERMINATE.
class Win32TickBox final : public TickBox {
public:
    explicit Win32TickBox(HWND box) : box_(box) {}
    TickValue value() const override;
    void setValue(TickValue value) override;
    // A click ticks an unticked box and unticks a ticked or greyed one.
    void click();

private:
    HWND box_;
};

// Multi-line edits hold line breaks as CR LF; a lone LF set from outside is
// shown as a line break too. Text set that is not valid UTF-8 (stored bytes
// that could not be read) is shown as well as Windows can; the bytes stay the
// field's text for as long as it shows just what it showed for them.
class Win32TextField final : public TextField {
public:
    Win32TextField(HWND edit, bool multiLine) : edit_(edit), multiLine_(multiLine) {}
    std::string text() const override;
    void setText(std::string_view text) override;

private:
    HWND edit_;
    bool multiLine_;
    std::string keptBytes_;
    std::wstring shownForThem_;
};

class Win32Label final : public Label {
public:
    explicit Win32Label(HWND label) : label_(label) {}
    std::string caption() const override;
    void setCaption(std::string_view caption) override;

private:
    HWND label_;
};

// A SetTimer timer of the form: WM_TIMER with this id reaches the form's
// window. Runs only while enabled with an interval above zero.
class Win32Timer final : public Timer {
public:
    Win32Timer(HWND form, UINT_PTR id) : form_(form), id_(id) {}
    int interval() const override { return interval_; }
    void setInterval(int milliseconds) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

private:
    void apply(bool restart);

    HWND form_;
    UINT_PTR id_;
    int interval_ = 0;
    bool enabled_ = false;
    bool running_ = false;
};

// A top-level window's outer frame in twips at the window's DPI.
class Win32Window final : public Window {
public:
    explicit Win32Window(HWND window) : window_(window) {}

    std::string caption() const override;
    void setCaption(std::string_view caption) override;
    float left() const override;
    float top() const override;
    float width() const override;
    float height() const override;
    void setLeft(float twips) override;
    void setTop(float twips) override;
    void setWidth(float twips) override;
    void setHeight(float twips) override;
    // Sends WM_CLOSE: the form runs its close operation and goes.
    void close() override;

private:
    RECT frame() const;
    float read(int pixels, const ui::RememberedTwips& remembered) const;
    int toPixels(float twips) const;
    void place(int left, int top, int width, int height);

    HWND window_;
    ui::RememberedTwips left_, top_, width_, height_;
};

// Text of any window, UTF-8.
std::string windowText(HWND window);
void setWindowText(HWND window, std::string_view text);

// Dots per inch of the monitor the window is on.
UINT dotsPerInch(HWND window);

} // namespace qmpvx::win32
