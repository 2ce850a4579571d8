#pragma once

#include <string>
#include <string_view>

namespace qmpvx::win32 {

// Windows speaks UTF-16; the program's own texts are UTF-8.
std::wstring toUtf16(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);

} // namespace qmpvx::win32
