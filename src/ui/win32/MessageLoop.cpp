#include "ui/win32/MessageLoop.h"

namespace qmpvx::win32 {

namespace {

constexpr wchar_t kDialogKeys[] = L"QM_PVX_DIALOG_KEYS";

} // namespace

void useDialogKeys(HWND window)
{
    SetPropW(window, kDialogKeys, reinterpret_cast<HANDLE>(1));
}

bool runMessages(const std::function<bool()>& done)
{
    MSG message{};
    while (!done()) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (got < 0)
            return false;
        const HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (top && GetPropW(top, kDialogKeys) && IsDialogMessageW(top, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

} // namespace qmpvx::win32
