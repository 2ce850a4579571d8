#include "platform/Executable.h"
#include "platform/win32/RegistrySettingsService.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Automation.h"
#include "settings/SettingsStore.h"
#include "ui/win32/EventDispatch.h"
#include "ui/win32/MessageLoop.h"
#include "ui/win32/Win32MainWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <exception>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    qmpvx::win32::EventDispatch dispatch;
    try {
        // A copy under another name is another program with its own settings.
        const qmpvx::StartedExecutable executable(qmpvx::win32::executableName());
        qmpvx::win32::RegistrySettingsService settingsService;
        qmpvx::SettingsStore settings(settingsService, executable);
        qmpvx::win32::Win32Automation automation;
        qmpvx::win32::Win32MainWindow mainWindow(settings, executable, automation, dispatch);

        // The program ends with its main window, once a shown error is dismissed.
        mainWindow.form().onDestroyed = [&dispatch] {
            if (!dispatch.dialogShown())
                PostQuitMessage(0);
        };
        dispatch.onDialogClosed = [&mainWindow] {
            if (mainWindow.form().destroyed())
                PostQuitMessage(0);
        };
        mainWindow.start();
        qmpvx::win32::runMessages([] { return false; });
        dispatch.onDialogClosed = nullptr;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qm-pvx: %s\n", error.what());
        MessageBoxW(nullptr, qmpvx::win32::toUtf16(error.what()).c_str(), L"QM-PVX - Error", MB_OK | MB_ICONERROR);
        return 1;
    }
    return 0;
}
