#include "platform/win32/RegistrySettingsService.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace qmpvx::win32 {
namespace {

// Each test works in a section of its own and removes it afterwards.
class RegistrySettings : public ::testing::Test {
protected:
    RegistrySettingsService service;
    const std::string section = "qm-pvx-test-" + std::to_string(GetCurrentProcessId());

    HKEY open(REGSAM access)
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, RegistrySettingsService::keyPath("QM_PVX", section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
        return key;
    }
    void putRaw(const wchar_t* name, const std::wstring& text)
    {
        const HKEY key = open(KEY_SET_VALUE);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    std::wstring raw(const wchar_t* name)
    {
        const HKEY key = open(KEY_QUERY_VALUE);
        wchar_t buffer[64] = {};
        DWORD bytes = sizeof buffer - sizeof(wchar_t);
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes);
        RegCloseKey(key);
        return buffer;
    }

    ~RegistrySettings() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, RegistrySettingsService::keyPath("QM_PVX", section).c_str());
    }
};

TEST_F(RegistrySettings, ValuesRoundTripAsText)
{
    const std::string text = "  {ENTER} \"quoted\" \xC3\xA4 \xE6\x97\xA5 \xF0\x9F\x98\x80\r\nline two ";
    service.save("QM_PVX", section, "TEXT_TO_SEND_TEXTBOX", text);
    service.save("QM_PVX", section, "WINDOW_NAME_TEXTBOX", "");
    EXPECT_EQ(service.lookup("QM_PVX", section, "TEXT_TO_SEND_TEXTBOX"), text);
    EXPECT_EQ(service.lookup("QM_PVX", section, "WINDOW_NAME_TEXTBOX"), "");
    EXPECT_EQ(service.lookup("QM_PVX", section, "MAIN-Left"), std::nullopt);
    EXPECT_EQ(service.lookup("QM_PVX", "no-such-section", "MAIN-Left"), std::nullopt);
    EXPECT_EQ(service.location("QM_PVX", "qm-pvx"),
              "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\QM_PVX\\qm-pvx");
}

TEST_F(RegistrySettings, ReadsWhatAnEarlierProgramStored)
{
    const std::string command = "reg add \"HKCU\\Software\\VB and VBA Program Settings\\QM_PVX\\" + section +
                                "\" /v MAIN-Width /t REG_SZ /d 12000 /f >NUL";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(service.lookup("QM_PVX", section, "MAIN-Width"), "12000");
}

TEST_F(RegistrySettings, AValueOfAnotherTypeCountsAsMissing)
{
    service.save("QM_PVX", section, "MAIN-Top", "5");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, RegistrySettingsService::keyPath("QM_PVX", section).c_str(), 0,
                            KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const DWORD number = 1000;
    RegSetValueExW(key, L"MAIN-Left", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
    EXPECT_EQ(service.lookup("QM_PVX", section, "MAIN-Left"), std::nullopt);
    EXPECT_EQ(service.lookup("QM_PVX", section, "MAIN-Top"), "5");
}

// An unpaired surrogate is not Unicode: such a value reads as bytes that are
// not UTF-8, so the program counts it as unreadable rather than changed, and
// saves of other keys leave it as it is.
TEST_F(RegistrySettings, AnUnpairedSurrogateReadsAsBytesThatAreNotUtf8)
{
    const struct {
        std::wstring stored;
        std::string read;
    } cases[] = {
        {L"ab\xD800" L"cd", "ab\xED\xA0\x80" "cd"},
        {L"end \xDC00", "end \xED\xB0\x80"},
        {L"\xDE00\xD83D", "\xED\xB8\x80\xED\xA0\xBD"},  // a pair the wrong way round
        {L"\xD83D\xDE00 paired", "\xF0\x9F\x98\x80 paired"},
    };
    for (const auto& c : cases) {
        putRaw(L"TEXT_TO_SEND_TEXTBOX", c.stored);
        EXPECT_EQ(service.lookup("QM_PVX", section, "TEXT_TO_SEND_TEXTBOX"), c.read);
        service.save("QM_PVX", section, "MAIN-Left", "1000");
        EXPECT_EQ(raw(L"TEXT_TO_SEND_TEXTBOX"), c.stored);
    }
}

} // namespace
} // namespace qmpvx::win32
