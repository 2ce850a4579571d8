#include "ui/win32/TextLimit.h"

namespace qmpvx::win32 {

namespace {

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

} // namespace

std::size_t characterCount(std::wstring_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(isLowSurrogate(text[i]) && i > 0 && isHighSurrogate(text[i - 1])))
            ++count;
    }
    return count;
}

std::size_t prefixOfCharacters(std::wstring_view text, std::size_t characters)
{
    std::size_t end = 0;
    for (std::size_t taken = 0; end < text.size() && taken < characters; ++taken)
        end += isHighSurrogate(text[end]) && end + 1 < text.size() && isLowSurrogate(text[end + 1]) ? 2 : 1;
    return end;
}

std::size_t roomFor(HWND edit, std::size_t limit)
{
    const int length = GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), length + 1)));
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::min<DWORD>(std::max(start, end), static_cast<DWORD>(text.size()));
    const std::size_t kept = characterCount(text) - characterCount(std::wstring_view(text).substr(start, end - start));
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
