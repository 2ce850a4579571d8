#include "app/CommandLine.h"
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
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

// A program of the GUI subsystem has no console of its own: the answer goes
// to a redirected output, else to the console it was started from, else to a
// message box.
void tell(const qmpvx::app::CommandLineAnswer& answer)
{
    const bool refused = answer.action == qmpvx::app::CommandLineAnswer::Action::Refuse;
    const HANDLE out = GetStdHandle(refused ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN &&
        GetFileType(out) != FILE_TYPE_CHAR) {
        DWORD written = 0;
        WriteFile(out, answer.text.data(), static_cast<DWORD>(answer.text.size()), &written, nullptr);
        return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const std::wstring text = L"\r\n" + qmpvx::win32::toUtf16(answer.text);
            DWORD written = 0;
            WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            CloseHandle(console);
            return;
        }
    }
    MessageBoxW(nullptr, qmpvx::win32::toUtf16(answer.text).c_str(), L"QM-PVX",
                MB_OK | (refused ? MB_ICONERROR : MB_ICONINFORMATION));
}

std::vector<std::string> arguments()
{
    std::vector<std::string> result;
    int count = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            result.push_back(qmpvx::win32::toUtf8(argv[i]));
        LocalFree(argv);
    }
    return result;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    {
        const std::string name = qmpvx::win32::executableName();
        const qmpvx::app::CommandLineAnswer answer = qmpvx::app::readCommandLine(
            arguments(), {name, QMPVX_VERSION,
                          qmpvx::win32::RegistrySettingsService().location(qmpvx::kSettingsApp, name),
                          "the README that comes with QM-PVX"});
        if (answer.action != qmpvx::app::CommandLineAnswer::Action::Start) {
            tell(answer);
            return answer.exitStatus;
        }
    }

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
