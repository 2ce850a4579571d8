#include "Fakes.h"

#include "settings/SettingsStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qmpvx::test {
namespace {

using ::testing::ElementsAre;

// The executable's name is asked for at every access, so a rename shows at once.
struct RenamableExecutable : Executable {
    std::string current = "first";
    std::string name() const override { return current; }
};

TEST(SettingsStore, WindowGeometryRoundTripsThroughTextExactly)
{
    FakeSettings service;
    RenamableExecutable exe;
    SettingsStore store(service, exe);
    FakeWindow about("About");
    about.left_ = 1234.56f;
    about.top_ = -90.0f;

    store.saveGeometry(about, kAboutGeometry);
    EXPECT_THAT(service.writes, ElementsAre("ABOUT-Left", "ABOUT-Top"));
    EXPECT_EQ(service.section("first").at("ABOUT-Top"), "-90");

    FakeWindow reopened("About");
    EXPECT_TRUE(store.restoreGeometry(reopened, kAboutGeometry).empty());
    EXPECT_EQ(reopened.left_, 1234.56f);
    EXPECT_EQ(reopened.top_, -90.0f);
    EXPECT_EQ(reopened.width_, 7215);
    EXPECT_EQ(reopened.height_, 3105);
}

TEST(BadStoredSettings, ShowsBadValuesSafely)
{
    const std::string cut = std::string(39, 'a') + "\xC3\xA9" + "tail";  // a two-byte character across the cut
    const BadStoredSettings error({{"MAIN-Left", cut, "is not a number", "1000"},
                                   {"MAIN-Top", "line\nbreak", "is not a number", "1000"}},
                                  "/cfg/QM_PVX/x.conf");
    const std::string message = error.what();
    EXPECT_NE(message.find("\"" + std::string(39, 'a') + "...\""), std::string::npos) << message;
    EXPECT_NE(message.find("\"line?break\""), std::string::npos) << message;
    EXPECT_NE(message.find("/cfg/QM_PVX/x.conf"), std::string::npos);
}

// Which stored texts cannot be read: strict UTF-8, as the typing reads it.
TEST(SettingsStore, TextsThatAreNotStrictUtf8AreReportedAndSetAsTheyAre)
{
    const struct {
        const char* what;
        std::string text;
        bool readable;
    } cases[] = {
        {"Latin, CJK, emoji", "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80", true},
        {"U+FFFD itself", "\xEF\xBF\xBD", true},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", true},
        {"a lead byte at the end", "ab\xC3", false},
        {"a lone continuation byte", "\x80", false},
        {"an overlong NUL", "\xC0\x80", false},
        {"a surrogate", "\xED\xA0\x80", false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false},
    };
    for (const auto& c : cases) {
        FakeSettings service;
        StartedExecutable exe("qm-pvx");
        SettingsStore store(service, exe);
        FakeMainWindow w;
        service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", c.text);
        const std::vector<BadSetting> bad = store.restoreMainControls(w.controls);
        EXPECT_EQ(bad.empty(), c.readable) << c.what;
        EXPECT_EQ(w.text.text_, c.text) << c.what;
    }
}

} // namespace
} // namespace qmpvx::test
