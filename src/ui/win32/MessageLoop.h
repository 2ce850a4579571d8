#pragma once

#include <windows.h>

#include <functional>

namespace qmpvx::win32 {

// Marks a top-level window whose keys go through the dialog manager (Tab,
// Esc, Enter), as dialogs do.
void useDialogKeys(HWND window);

// Runs the thread's messages until `done` holds. Returns false when WM_QUIT
// came first; it is posted again for an outer loop to see.
bool runMessages(const std::function<bool()>& done);

} // namespace qmpvx::win32
