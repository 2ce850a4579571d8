#include "ui/win32/EventDispatch.h"

#include "ui/EventFailure.h"

#include "platform/win32/Utf16.h"
#include "ui/win32/MessageLoop.h"
#include "ui/win32/Win32Controls.h"
#include "ui/win32/WindowClass.h"

#include <stdexcept>

namespace qmpvx::win32 {

namespace {

constexpr wchar_t kErrorClass[] = L"QM_PVX_ERROR";
constexpr wchar_t kErrorCaption[] = L"QM-PVX - Error";
// Posted to the error window: shown once the current event is done, so it
// stands above a window that the failing operation was about to show.
constexpr UINT kShowLater = WM_APP + 2;

int scaled(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), 96); }

} // namespace

EventDispatch::~EventDispatch()
{
    if (dialog_) {
        SetWindowLongPtrW(dialog_, GWLP_USERDATA, 0);
        DestroyWindow(dialog_);
    }
    if (font_)
        DeleteObject(font_);
}

bool EventDispatch::run(const std::function<void()>& operation) noexcept
{
    const std::optional<std::string> message = ui::runCatchingFailure(operation);
    if (message)
        report(*message);
    return !message;
}

void EventDispatch::withdraw() noexcept
{
    wanted_ = false;
    if (dialog_)
        ShowWindow(dialog_, SW_HIDE);
}

void EventDispatch::report(const std::string& message) noexcept
{
    try {
        if (!dialog_)
            createDialog();
        arrange(toUtf16(message));
        wanted_ = true;
        PostMessageW(dialog_, kShowLater, 0, 0);
    } catch (...) {
        // The message is on standard error; never let reporting throw.
    }
}

void EventDispatch::createDialog()
{
    registerWindowClass(kErrorClass, &EventDispatch::procedure);

    // No owner: the window outlives a main window whose close failed to save,
    // so that failure is still seen.
    dialog_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kErrorClass, kErrorCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU,
                              CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!dialog_)
        throw std::runtime_error("cannot create the error window");
    SetWindowLongPtrW(dialog_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    useDialogKeys(dialog_);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    icon_ = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 0, 0, dialog_, nullptr,
                            instance, nullptr);
    SendMessageW(icon_, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
    text_ = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                            dialog_, nullptr, instance, nullptr);
    ok_ = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                          dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
    for (const HWND child : {text_, ok_})
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

// Sized to the message: a fixed width, as tall as the wrapped text needs.
void EventDispatch::arrange(const std::wstring& text)
{
    SetWindowTextW(text_, text.c_str());
    const UINT dpi = dotsPerInch(dialog_);
    const int margin = scaled(12, dpi), iconSize = scaled(32, dpi), textWidth = scaled(380, dpi);
    const int buttonWidth = scaled(88, dpi), buttonHeight = scaled(26, dpi);

    RECT bounds{0, 0, textWidth, 0};
    const HDC dc = GetDC(text_);
    const HGDIOBJ previous = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(text_, dc);
    const int textHeight = std::max<int>(bounds.bottom - bounds.top, iconSize);

    const int textLeft = margin * 2 + iconSize;
    const int clientWidth = textLeft + textWidth + margin;
    const int clientHeight = margin + textHeight + margin + buttonHeight + margin;
    SetWindowPos(icon_, nullptr, margin, margin, iconSize, iconSize, SWP_NOZORDER);
    SetWindowPos(text_, nullptr, textLeft, margin, textWidth, textHeight, SWP_NOZORDER);
    SetWindowPos(ok_, nullptr, clientWidth - margin - buttonWidth, margin + textHeight + margin, buttonWidth,
                 buttonHeight, SWP_NOZORDER);

    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(dialog_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog_, GWL_EXSTYLE)));
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(dialog_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK EventDispatch::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dispatch = reinterpret_cast<EventDispatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!dispatch)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case kShowLater:
        if (!dispatch->wanted_)
            return 0;
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        SetFocus(dispatch->ok_);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            break;
        [[fallthrough]];
    case WM_CLOSE:
        dispatch->wanted_ = false;
        ShowWindow(window, SW_HIDE);
        if (dispatch->onDialogClosed)
            dispatch->onDialogClosed();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace qmpvx::win32
