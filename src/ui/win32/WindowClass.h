#pragma once

#include <windows.h>

namespace qmpvx::win32 {

// Registers a top-level window class of the program (its icon, the arrow
// cursor, the dialog colour) once; throws when Windows refuses.
void registerWindowClass(const wchar_t* name, WNDPROC procedure);

} // namespace qmpvx::win32
