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
    const std::wstring path = RegistrySettingsService::keyPath("QM_PVX", section);

    std::optional<std::string> lookup(std::string_view key) { return service.lookup("QM_PVX", section, key); }
    void putRaw(const wchar_t* name, DWORD type, const void* data, std::size_t bytes)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, data, static_cast<DWORD>(bytes));
    }
    ~RegistrySettings() override { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }
};

TEST_F(RegistrySettings, ValuesRoundTripAsText)
{
    const std::string text = "  {ENTER} \"quoted\" \xC3\xA4 \xE6\x97\xA5 \xF0\x9F\x98\x80\r\nline two ";
    service.save("QM_PVX", section, "TEXT_TO_SEND_TEXTBOX", text);
    service.save("QM_PVX", section, "WINDOW_NAME_TEXTBOX", "");
    EXPECT_EQ(lookup("TEXT_TO_SEND_TEXTBOX"), text);
    EXPECT_EQ(lookup("WINDOW_NAME_TEXTBOX"), "");
    EXPECT_EQ(lookup("MAIN-Left"), std::nullopt);
    EXPECT_EQ(service.lookup("QM_PVX", "no-such-section", "MAIN-Left"), std::nullopt);
}

TEST_F(RegistrySettings, ReadsWhatAnEarlierProgramStored)
{
    const std::string command = "reg add \"HKCU\\Software\\VB and VBA Program Settings\\QM_PVX\\" + section +
                                "\" /v MAIN-Width /t REG_SZ /d 12000 /f >NUL";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(lookup("MAIN-Width"), "12000");
}

TEST_F(RegistrySettings, AValueOfAnotherTypeCountsAsMissing)
{
    service.save("QM_PVX", section, "MAIN-Top", "5");
    const DWORD number = 1000;
    putRaw(L"MAIN-Left", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(lookup("MAIN-Left"), std::nullopt);
    EXPECT_EQ(lookup("MAIN-Top"), "5");
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
        putRaw(L"TEXT_TO_SEND_TEXTBOX", REG_SZ, c.stored.c_str(), (c.stored.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(lookup("TEXT_TO_SEND_TEXTBOX"), c.read);
        service.save("QM_PVX", section, "MAIN-Left", "1000");
        wchar_t raw[64] = {};
        DWORD bytes = sizeof raw;
        RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"TEXT_TO_SEND_TEXTBOX", RRF_RT_REG_SZ, nullptr, raw, &bytes);
        EXPECT_EQ(raw, c.stored);
    }
}

} // namespace
} // namespace qmpvx::win32
