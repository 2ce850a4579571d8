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

} // namespace
} // namespace qmpvx::win32
