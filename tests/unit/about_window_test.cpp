#include "Fakes.h"

#include "core/AboutWindowController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qmpvx::test {
namespace {

using ::testing::ElementsAre;

class AboutWindow : public ::testing::Test {
protected:
    FakeSettings service;
    StartedExecutable exe{"qm-pvx"};
    SettingsStore store{service, exe};
    FakeWindow window{"QM-PVX - QM-Pellivox - ABOUT"};
    FakeLabel creator;
    AboutWindowController controller{window, creator, store};

    AboutWindow()
    {
        creator.caption_ = "Created By Ketrovan5";
        window.onClose = [this] { controller.Form_Unload(); };
    }
};

TEST_F(AboutWindow, OpensWhereItWasAndSavesOnlyItsPosition)
{
    controller.Form_Load();
    EXPECT_EQ(window.left_, 1000);
    EXPECT_EQ(window.width_, 7215);
    EXPECT_EQ(window.height_, 3105);

    window.left_ = 2500.5f;
    controller.OK_BUTTON_Click();
    EXPECT_TRUE(window.closed);
    EXPECT_THAT(service.writes, ElementsAre("ABOUT-Left", "ABOUT-Top", "ABOUT-Left", "ABOUT-Top"));
    EXPECT_EQ(service.section("qm-pvx").at("ABOUT-Left"), "2500.5");

    service.put("qm-pvx", "ABOUT-Width", "9000");
    controller.Form_Load();
    EXPECT_EQ(window.left_, 2500.5f);
    EXPECT_EQ(window.width_, 9000);
}

} // namespace
} // namespace qmpvx::test
