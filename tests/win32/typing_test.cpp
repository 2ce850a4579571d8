#include "platform/win32/Win32Automation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qmpvx::win32 {
namespace {

// Wine's own Notepad, a real application this project did not write.
class Notepad : public ::testing::Test {
protected:
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    void SetUp() override
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        wchar_t command[] = L"notepad.exe";
        ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
        WaitForInputIdle(process.hProcess, 10000);
        for (int i = 0; i < 500 && !window; ++i) {
            window = FindWindowW(L"Notepad", nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override
    {
        TerminateProcess(process.hProcess, 0);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    // Another process's control answers WM_GETTEXT itself.
    std::wstring text() const
    {
        const HWND edit = FindWindowExW(window, nullptr, L"Edit", nullptr);
        std::wstring buffer(4096, L'\0');
        const LRESULT length = SendMessageW(edit, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
        buffer.resize(static_cast<std::size_t>(length));
        return buffer;
    }
};

TEST_F(Notepad, TypesExactUnicodeWithEnterIntoTheWindowNamedByItsTitle)
{
    Win32Automation automation;
    automation.AppActivate("untitled - NOTEPAD");
    const auto shell = automation.CreateObject("WScript.Shell");
    shell->SendKeys("Gr\xC3\xBC\xC3\x9F" "e {+}1 \xE6\x97\xA5\xF0\x9F\x98\x80", true);
    automation.AppActivate("Untitled");
    shell->SendKeys("{Enter}x", true);
    // Under Wine, input reaches Notepad after the round trip that SendKeys
    // waits for: give it a moment, then the text must be exact.
    const std::wstring expected = L"Gr\u00fc\u00dfe +1 \u65e5\U0001F600\r\nx";
    for (int i = 0; i < 150 && text() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(text(), expected);
}

TEST_F(Notepad, NoMatchingWindowTypesNothing)
{
    Win32Automation automation;
    EXPECT_THROW(automation.AppActivate("No Such Window"), std::runtime_error);
    EXPECT_THROW(automation.CreateObject("WScript.Shell")->SendKeys("abc", true), std::runtime_error);
    EXPECT_EQ(text(), L"");
}

TEST(ExecutableName, IsTheFileNameWithoutExe)
{
    EXPECT_EQ(executableName(), "win32_tests");
}

} // namespace
} // namespace qmpvx::win32
