// A window that records every character it receives, for the end-to-end
// tests: the record is the text of its hidden child window, which another
// process reads with WM_GETTEXT. WM_APP answers with the key of its keyboard
// layout that types '@' (VkKeyScanW), the layout its keys are read with.
// Two characters make it take keys away, as other programs may: on '&' it
// gives the focus to Notepad, on '$' it lets go of Shift (as Wine does when
// the window manager moves the focus). Usage: qmpvx_recorder.exe TITLE
#include <windows.h>

#include <string>

namespace {

HWND record = nullptr;

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    if (message == WM_APP)
        return VkKeyScanW(L'@');
    if (message != WM_CHAR)
        return DefWindowProcW(window, message, wParam, lParam);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(record)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(record, text.data(), static_cast<int>(text.size()))));
    SetWindowTextW(record, (text + static_cast<wchar_t>(wParam)).c_str());
    if (wParam == L'&')
        SetForegroundWindow(FindWindowW(L"Notepad", nullptr));
    if (wParam == L'$') {
        INPUT shiftUp{};
        shiftUp.type = INPUT_KEYBOARD;
        shiftUp.ki.wVk = VK_SHIFT;
        shiftUp.ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(1, &shiftUp, sizeof shiftUp);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR title, int)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"QM_PVX_RECORDER";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"QM_PVX_RECORDER", title, WS_OVERLAPPEDWINDOW, 400, 300, 320, 160,
                                        nullptr, nullptr, instance, nullptr);
    record = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, window, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
