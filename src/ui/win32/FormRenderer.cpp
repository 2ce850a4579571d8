#include "ui/win32/FormRenderer.h"

#include "platform/win32/Utf16.h"
#include "ui/Twips.h"
#include "ui/win32/MessageLoop.h"
#include "ui/win32/TextLimit.h"
#include "ui/win32/WindowClass.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

namespace qmpvx::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"QM_PVX_FORM";
constexpr int kFirstControlId = 1000;
// Posted to a closed form: it goes once the event that closed it is done.
constexpr UINT kDestroyLater = WM_APP + 1;

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

COLORREF toColorRef(const design::Rgb& rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

// The outer size for a client size, at the window's DPI where Windows can say.
SIZE outerSize(int clientWidth, int clientHeight, UINT dpi)
{
    RECT rect{0, 0, clientWidth, clientHeight};
    using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (!adjustForDpi || !adjustForDpi(&rect, kFormStyle, FALSE, 0, dpi))
        AdjustWindowRectEx(&rect, kFormStyle, FALSE, 0);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

struct ChildStyle {
    const wchar_t* windowClass;
    DWORD style;
    DWORD extendedStyle;
};

ChildStyle styleOf(const design::Control& control, const design::Window& window)
{
    const bool isDefault = control.name == window.defaultButton;
    const DWORD focusable = WS_TABSTOP | WS_GROUP;
    switch (control.kind) {
    case design::Kind::Label: {
        DWORD style = SS_NOPREFIX | SS_NOTIFY | (control.align == design::Align::Centre ? SS_CENTER : SS_LEFT);
        if (control.look == design::Look::Display)
            style |= WS_BORDER;
        return {L"STATIC", style, 0};
    }
    case design::Kind::PushButton:
        return {L"BUTTON", focusable | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0};
    case design::Kind::TickBox:
        return {L"BUTTON", focusable | BS_3STATE, 0};
    case design::Kind::TextField:
        return {L"EDIT", focusable | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case design::Kind::MultiLineTextField: {
        // Word wrap comes from leaving out ES_AUTOHSCROLL; no scroll bars.
        // Enter is a line break unless the window has a button for it.
        const DWORD enter = window.defaultButton.empty() ? ES_WANTRETURN : 0;
        return {L"EDIT", focusable | ES_MULTILINE | ES_AUTOVSCROLL | enter, WS_EX_CLIENTEDGE};
    }
    case design::Kind::Timer:
        break;
    }
    return {nullptr, 0, 0};
}

// Multi-line edits: Tab and Esc keep their dialog roles (the edit would
// insert a tab, and Esc would close the window), and the character limit
// counts characters, not UTF-16 units, for typing and pasting alike.
LRESULT CALLBACK limitedEdit(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR limit)
{
    // One such edit takes keys at a time: the second half of a character
    // whose first half was refused is refused too.
    static bool droppedHighSurrogate = false;
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = DefSubclassProc(edit, message, wParam, lParam);
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && key->message == WM_KEYDOWN && (key->wParam == VK_TAB || key->wParam == VK_ESCAPE))
            code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
        return code;
    }
    case WM_CHAR: {
        const auto unit = static_cast<wchar_t>(wParam);
        if (unit >= 0xDC00 && unit <= 0xDFFF && droppedHighSurrogate) {
            droppedHighSurrogate = false;
            return 0;
        }
        droppedHighSurrogate = false;
        if ((unit < 0x20 && unit != L'\r' && unit != L'\n') || unit == 0x7F)
            break;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            break;  // the second half of a character already let in
        // A line break goes in as CR LF.
        const std::size_t needed = unit == L'\r' || unit == L'\n' ? 2 : 1;
        if (roomFor(edit, static_cast<std::size_t>(limit)) < needed) {
            droppedHighSurrogate = unit >= 0xD800 && unit <= 0xDBFF;
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    }
    case WM_PASTE: {
        std::wstring pasted = clipboardText(edit);
        const std::size_t room = roomFor(edit, static_cast<std::size_t>(limit));
        pasted.resize(ui::prefixOfCharacters(unitsOf(pasted), room));
        if (!pasted.empty())
            SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(pasted.c_str()));
        else
            MessageBeep(MB_OK);
        return 0;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(edit, limitedEdit, 1);
        break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

} // namespace

int controlId(const design::Window& design, std::string_view name)
{
    for (std::size_t i = 0; i < design.controls.size(); ++i) {
        if (design.controls[i].name == name)
            return kFirstControlId + static_cast<int>(i);
    }
    throw std::logic_error("The window has no control " + std::string(name) + ".");
}

Form::~Form()
{
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

HWND Form::control(std::string_view name) const
{
    return GetDlgItem(window_, controlId(design_, name));
}

const Form::Child* Form::childOf(int id) const
{
    const auto found = children_.find(id);
    return found == children_.end() ? nullptr : &found->second;
}

HFONT Form::fontFor(const design::Font& font, UINT dpi)
{
    const std::string key = std::to_string(font.points) + (font.bold ? "b" : "") + "@" + std::to_string(dpi);
    if (const auto found = fontsInUse_.find(key); found != fontsInUse_.end())
        return found->second;
    LOGFONTW description{};
    description.lfHeight = -static_cast<LONG>(font.points * static_cast<float>(dpi) / 72.0f + 0.5f);
    description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = toUtf16(font.face);
    face.copy(description.lfFaceName, LF_FACESIZE - 1);
    FontHandle created(CreateFontIndirectW(&description));
    const HFONT handle = created ? created.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (created)
        fonts_.push_back(std::move(created));
    fontsInUse_[key] = handle;
    return handle;
}

// Every position from the design's twips at the given DPI.
void Form::layout(UINT dpi)
{
    const auto px = [dpi](int twips) { return ui::twipsToPixels(twips, dpi); };
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(design_.font, dpi)), FALSE);
    for (const auto& [id, child] : children_) {
        if (!child.window)
            continue;  // a timer
        const design::Control& control = *child.design;
        SetWindowPos(child.window, nullptr, px(control.left), px(control.top), px(control.width),
                     px(control.height), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(control.font, dpi)), TRUE);
    }
}

void Form::show()
{
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    if (!design_.firstFocus.empty())
        SetFocus(control(design_.firstFocus));
}

void Form::press(std::string_view name)
{
    const HWND button = control(name);
    if (button && IsWindowEnabled(button) && IsWindowVisible(button))
        command(GetDlgCtrlID(button), BN_CLICKED);
}

void Form::command(int id, int code)
{
    if (id == IDCANCEL && code == 0) {
        if (!design_.cancelButton.empty())
            press(design_.cancelButton);
        else if (onEscape)
            onEscape();
        return;
    }
    if (id == IDOK && code == 0) {
        if (!design_.defaultButton.empty())
            press(design_.defaultButton);
        return;
    }
    const Child* child = childOf(id);
    if (!child)
        return;
    const std::string_view name = child->design->name;
    const auto run = [&name](const Handlers& handlers) {
        if (const auto found = handlers.find(name); found != handlers.end() && found->second)
            found->second();
    };
    switch (child->design->kind) {
    case design::Kind::PushButton:
        if (code == BN_CLICKED && IsWindowEnabled(child->window))
            run(onClick);
        break;
    case design::Kind::TickBox:
        if (code == BN_CLICKED && IsWindowEnabled(child->window)) {
            tickBoxes_.find(name)->second->click();
            run(onClick);
        }
        break;
    case design::Kind::Label:
        if (code == STN_DBLCLK)
            run(onDoubleClick);
        break;
    default:
        break;
    }
}

LRESULT Form::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NEXTDLGCTL: {
        // Sent by the dialog manager for Tab and Shift+Tab; only dialog
        // windows handle it themselves.
        const HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                         : GetNextDlgTabItem(window_, GetFocus(), wParam != 0);
        if (next) {
            SetFocus(next);
            if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return 0;
    }
    case DM_GETDEFID:
        if (!design_.defaultButton.empty())
            return MAKELRESULT(controlId(design_, design_.defaultButton), DC_HASDEFID);
        return 0;
    case WM_TIMER:
        if (const Child* child = childOf(static_cast<int>(wParam))) {
            if (const auto found = onTimer.find(child->design->name); found != onTimer.end() && found->second)
                found->second();
        }
        return 0;
    case WM_CTLCOLORSTATIC: {
        const Child* child = childOf(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        if (child && child->design->look == design::Look::Display) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, toColorRef(design::kDisplayText));
            SetBkColor(dc, toColorRef(design::kDisplayBackground));
            return reinterpret_cast<LRESULT>(displayBrush_.get());
        }
        break;
    }
    case WM_ACTIVATE:
        // Back to the control that had the focus, as dialogs do.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(window_, focus))
                lastFocus_ = focus;
        } else if (lastFocus_ && IsWindow(lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        const UINT dpi = HIWORD(wParam);
        layout(dpi);
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        RECT client{};
        GetClientRect(window_, &client);
        const SIZE outer = outerSize(ui::twipsToPixels(design_.clientWidth, dpi),
                                     ui::twipsToPixels(design_.clientHeight, dpi), dpi);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, outer.cx, outer.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        if (onClose)
            onClose();
        if (window_) {
            ShowWindow(window_, SW_HIDE);
            PostMessageW(window_, kDestroyLater, 0, 0);
        }
        return 0;
    case kDestroyLater:
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        for (auto& [name, timer] : timers_)
            timer->setEnabled(false);
        break;
    case WM_NCDESTROY: {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        window_ = nullptr;
        if (onDestroyed)
            onDestroyed();
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Form::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    return form->handle(message, wParam, lParam);
}

std::unique_ptr<Form> renderForm(const design::Window& design, HWND owner)
{
    registerWindowClass(kFormClass, &Form::procedure);
    auto form = std::unique_ptr<Form>(new Form(design));
    form->displayBrush_.reset(CreateSolidBrush(toColorRef(design::kDisplayBackground)));

    const HWND window = CreateWindowExW(0, kFormClass, toUtf16(design.caption).c_str(), kFormStyle, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 0, 0, owner, nullptr, GetModuleHandleW(nullptr), form.get());
    if (!window)
        throw std::runtime_error("Windows could not create the window " + std::string(design.name) + " (error " +
                                 std::to_string(GetLastError()) + ").");
    form->adapter_ = std::make_unique<Win32Window>(window);
    useDialogKeys(window);

    // Created in tab order: the dialog manager walks the controls in z-order.
    std::vector<const design::Control*> ordered;
    for (const design::Control& control : design.controls)
        ordered.push_back(&control);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });

    for (const design::Control* control : ordered) {
        const std::string name(control->name);
        const int id = controlId(design, control->name);
        if (control->kind == design::Kind::Timer) {
            form->children_[id] = {control, nullptr};
            form->timers_[name] = std::make_unique<Win32Timer>(window, static_cast<UINT_PTR>(id));
            continue;
        }
        const ChildStyle style = styleOf(*control, design);
        const std::wstring caption = control->kind == design::Kind::PushButton ? L"" : toUtf16(control->caption);
        const HWND child = CreateWindowExW(style.extendedStyle, style.windowClass, caption.c_str(),
                                           WS_CHILD | WS_VISIBLE | style.style, 0, 0, 0, 0, window,
                                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                           GetModuleHandleW(nullptr), nullptr);
        if (!child)
            throw std::runtime_error("Windows could not create the control " + name + " (error " +
                                     std::to_string(GetLastError()) + ").");
        EnableWindow(child, control->enabled);
        form->children_[id] = {control, child};

        switch (control->kind) {
        case design::Kind::Label:
            form->labels_[name] = std::make_unique<Win32Label>(child);
            break;
        case design::Kind::PushButton:
            form->buttons_[name] = std::make_unique<Win32Button>(child);
            form->buttons_[name]->setCaption(control->caption);
            break;
        case design::Kind::TickBox:
            form->tickBoxes_[name] = std::make_unique<Win32TickBox>(child);
            break;
        case design::Kind::TextField:
            SendMessageW(child, EM_SETLIMITTEXT, 0, 0);  // the default stops typing at 32,767
            form->textFields_[name] = std::make_unique<Win32TextField>(child, false);
            break;
        case design::Kind::MultiLineTextField:
            SendMessageW(child, EM_SETLIMITTEXT, 0, 0);
            if (control->maxLength > 0)
                SetWindowSubclass(child, limitedEdit, 1, static_cast<DWORD_PTR>(control->maxLength));
            form->textFields_[name] = std::make_unique<Win32TextField>(child, true);
            break;
        case design::Kind::Timer:
            break;
        }
    }

    const UINT dpi = dotsPerInch(window);
    form->layout(dpi);
    const SIZE outer =
        outerSize(ui::twipsToPixels(design.clientWidth, dpi), ui::twipsToPixels(design.clientHeight, dpi), dpi);
    SetWindowPos(window, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!design.firstFocus.empty())
        form->lastFocus_ = form->control(design.firstFocus);
    return form;
}

} // namespace qmpvx::win32
