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

} // namespace
} // namespace qmpvx::test
