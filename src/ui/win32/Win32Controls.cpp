#include "ui/win32/Win32Controls.h"

#include "platform/keys/Utf8.h"
#include "platform/win32/Utf16.h"
#include "ui/Twips.h"

#include <stdexcept>

namespace qmpvx::win32 {

namespace {

// Captions carry no access keys: an '&' is shown as it is.
std::wstring withoutAccessKeys(std::string_view caption)
{
    std::wstring text;
    for (const wchar_t c : toUtf16(caption)) {
        text += c;
        if (c == L'&')
            text += L'&';
    }
    return text;
}

std::string fromButtonText(const std::wstring& text)
{
    std::wstring plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == L'&' && i + 1 < text.size() && text[i + 1] == L'&')
            ++i;
    }
    return toUtf8(plain);
}

std::wstring withCrLf(std::wstring_view text)
{
    std::wstring result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'))
            result += L'\r';
        result += text[i];
    }
    return result;
}

} // namespace

std::string windowText(HWND window) { return toUtf8(wideWindowText(window)); }

void setWindowText(HWND window, std::string_view text)
{
    SetWindowTextW(window, toUtf16(text).c_str());
}

UINT dotsPerInch(HWND window)
{
    // Windows 10's per-monitor DPI where there is one, else the system's.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::string Win32Button::caption() const { return fromButtonText(wideWindowText(button_)); }
void Win32Button::setCaption(std::string_view caption) { SetWindowTextW(button_, withoutAccessKeys(caption).c_str()); }
bool Win32Button::enabled() const { return IsWindowEnabled(button_); }
void Win32Button::setEnabled(bool enabled) { EnableWindow(button_, enabled); }

TickValue Win32TickBox::value() const
{
    switch (SendMessageW(box_, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return 1;
    case BST_INDETERMINATE: return 2;
    default: return 0;
    }
}

void Win32TickBox::setValue(TickValue value)
{
    if (value < 0 || value > 2)
        throw std::invalid_argument("A tick box takes 0, 1 or 2, not " + std::to_string(value) + ".");
    const WPARAM state = value == 0 ? BST_UNCHECKED : value == 1 ? BST_CHECKED : BST_INDETERMINATE;
    SendMessageW(box_, BM_SETCHECK, state, 0);
}

void Win32TickBox::click() { setValue(value() == 0 ? 1 : 0); }

std::string Win32TextField::text() const
{
    const std::wstring shown = wideWindowText(edit_);
    return !keptBytes_.empty() && shown == shownForThem_ ? keptBytes_ : toUtf8(shown);
}

void Win32TextField::setText(std::string_view text)
{
    const std::wstring wide = toUtf16(text);
    SetWindowTextW(edit_, multiLine_ ? withCrLf(wide).c_str() : wide.c_str());
    const bool utf8 = !keys::decodeUtf8(text).invalidByte;
    keptBytes_ = utf8 ? std::string() : std::string(text);
    shownForThem_ = utf8 ? std::wstring() : wideWindowText(edit_);
}

std::string Win32Label::caption() const { return windowText(label_); }
void Win32Label::setCaption(std::string_view caption) { setWindowText(label_, caption); }

// A new interval counts afresh; enabling a running timer leaves its wait alone.
void Win32Timer::setInterval(int milliseconds)
{
    interval_ = milliseconds;
    apply(true);
}

void Win32Timer::setEnabled(bool enabled)
{
    enabled_ = enabled;
    apply(false);
}

void Win32Timer::apply(bool restart)
{
    if (!enabled_ || interval_ <= 0) {
        if (running_)
            KillTimer(form_, id_);
        running_ = false;
    } else if (!running_ || restart) {
        // SetTimer with the same id replaces the timer and starts its wait again.
        if (!SetTimer(form_, id_, static_cast<UINT>(interval_), nullptr))
            throw std::runtime_error("Windows could not start a timer (error " + std::to_string(GetLastError()) + ").");
        running_ = true;
    }
}

std::string Win32Window::caption() const { return windowText(window_); }
void Win32Window::setCaption(std::string_view caption) { setWindowText(window_, caption); }

RECT Win32Window::frame() const
{
    RECT rect{};
    GetWindowRect(window_, &rect);
    return rect;
}

float Win32Window::read(int pixels, const ui::RememberedTwips& remembered) const
{
    return remembered.recall(pixels).value_or(ui::pixelsToTwips(pixels, dotsPerInch(window_)));
}

int Win32Window::toPixels(float twips) const { return ui::twipsToPixels(twips, dotsPerInch(window_)); }

float Win32Window::left() const { return read(frame().left, left_); }
float Win32Window::top() const { return read(frame().top, top_); }
float Win32Window::width() const { return read(frame().right - frame().left, width_); }
float Win32Window::height() const { return read(frame().bottom - frame().top, height_); }

void Win32Window::place(int left, int top, int width, int height)
{
    SetWindowPos(window_, nullptr, left, top, std::max(width, 1), std::max(height, 1),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::setLeft(float twips)
{
    const RECT rect = frame();
    const int pixels = toPixels(twips);
    place(pixels, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    left_.remember(frame().left, twips);
}

void Win32Window::setTop(float twips)
{
    const RECT rect = frame();
    const int pixels = toPixels(twips);
    place(rect.left, pixels, rect.right - rect.left, rect.bottom - rect.top);
    top_.remember(frame().top, twips);
}

void Win32Window::setWidth(float twips)
{
    const RECT rect = frame();
    place(rect.left, rect.top, toPixels(twips), rect.bottom - rect.top);
    width_.remember(frame().right - frame().left, twips);
}

void Win32Window::setHeight(float twips)
{
    const RECT rect = frame();
    place(rect.left, rect.top, rect.right - rect.left, toPixels(twips));
    height_.remember(frame().bottom - frame().top, twips);
}

void Win32Window::close() { SendMessageW(window_, WM_CLOSE, 0, 0); }

} // namespace qmpvx::win32
