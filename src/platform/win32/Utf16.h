#pragma once

#include <string>
#include <string_view>

struct HWND__;

namespace qmpvx::win32 {

// Windows speaks UTF-16; the program's own texts are UTF-8.
std::wstring toUtf16(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);

// A window's text (title or control text), as Windows holds it.
std::wstring wideWindowText(HWND__* window);

} // namespace qmpvx::win32
