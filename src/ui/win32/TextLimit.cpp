#include "ui/win32/TextLimit.h"

#include "platform/win32/Utf16.h"

namespace qmpvx::win32 {

std::size_t roomFor(HWND edit, std::size_t limit)
{
    const std::wstring text = wideWindowText(edit);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::min<DWORD>(std::max(start, end), static_cast<DWORD>(text.size()));
    const std::size_t kept =
        ui::characterCount(unitsOf(text)) - ui::characterCount(unitsOf(std::wstring_view(text).substr(start, end - start)));
    return kept >= limit ? 0 : limit - kept;
}

std::wstring clipboardText(HWND owner)
{
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(owner))
        return {};
    std::wstring text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = units;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

} // namespace qmpvx::win32
