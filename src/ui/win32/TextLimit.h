#pragma once

#include "ui/TextLimit.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qmpvx::win32 {

// Windows' wide characters are UTF-16 units.
inline std::u16string_view unitsOf(std::wstring_view text)
{
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

// How many more characters an edit takes under its limit, counting its
// selection as already gone (typing or pasting replaces it).
std::size_t roomFor(HWND edit, std::size_t limit);

// The clipboard's text; empty when it holds none or cannot be opened.
std::wstring clipboardText(HWND owner);

} // namespace qmpvx::win32
