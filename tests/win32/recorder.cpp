// A window that records every character it receives, for the end-to-end
// tests: the record is the text of its hidden child window, which another
// process reads with WM_GETTEXT. Usage: qmpvx_recorder.exe TITLE
#include <windows.h>

#include <string>

namespace {

HWND record = nullptr;

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR: {
        const int length = GetWindowTextLengthW(record);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(record, text.data(), length + 1)));
        text += static_cast<wchar_t>(wParam);
        SetWindowTextW(record, text.c_str());
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR title, int)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
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
