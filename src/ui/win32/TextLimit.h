#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qmpvx::win32 {

// Characters, not UTF-16 units: a surrogate pair counts once.
std::size_t characterCount(std::wstring_view text);

// The length in units of the longest start of text with at most `characters`
// characters, never splitting a surrogate pair.
std::size_t prefixOfCharacters(std::wstring_view text, std::size_t characters);

// How many more characters an edit takes under its limit, counting its
// selection as already gone (typing or pasting replaces it).
std::size_t roomFor(HWND edit, std::size_t limit);

// The clipboard's text; empty when it holds none or cannot be opened.
std::wstring clipboardText(HWND owner);

} // namespace qmpvx::win32
