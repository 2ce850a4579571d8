#include "MainWindowFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qmpvx::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class MainWindowLoad : public MainWindowFixture {
protected:
    std::string loadError()
    {
        try {
            controller.Form_Load();
        } catch (const BadStoredSettings& error) {
            return error.what();
        }
        return {};
    }
};

TEST_F(MainWindowLoad, FirstStartTakesTheDefaultsAndIsIdle)
{
    controller.Form_Load();
    EXPECT_EQ(std::vector({w.window.left_, w.window.top_, w.window.width_, w.window.height_}),
              std::vector({1000.0f, 1000.0f, 9480.0f, 6240.0f}));
    EXPECT_EQ(w.window.caption_, "QM-PVX - qm-pvx");
    EXPECT_EQ(w.exeName.caption_, "qm-pvx");
    EXPECT_EQ(w.status.caption_, "READY...");
    EXPECT_EQ(w.startStop.caption_, "START");
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_FALSE(w.autoStart.enabled_);
    EXPECT_EQ(w.autoStart.interval_, 10000);
    EXPECT_TRUE(service.writes.empty());
}

// Only a tick counts: a greyed box is shown grey and starts nothing.
TEST_F(MainWindowLoad, AutoStartCountsDownOnlyWhenTicked)
{
    service.put("qm-pvx", "AUTOSTART_TICKBOX", "1");
    controller.Form_Load();
    EXPECT_EQ(w.status.caption_, "AUTO-STARTING IN 10 SECONDS...");
    EXPECT_EQ(w.startStop.caption_, "STOP");
    EXPECT_TRUE(w.autoStart.enabled_);
    EXPECT_FALSE(w.ready.enabled_);

    FakeMainWindow greyed;
    service.put("qm-pvx", "AUTOSTART_TICKBOX", "2");
    MainWindowController(greyed.controls, store, exe, automation, about).Form_Load();
    EXPECT_EQ(greyed.autoStartBox.value_, 2);
    EXPECT_EQ(greyed.status.caption_, "READY...");
    EXPECT_FALSE(greyed.autoStart.enabled_);
}

TEST_F(MainWindowLoad, RestoresStoredValuesUnderItsOwnExecutableName)
{
    service.put("qm-pvx", "MAIN-Left", "1234.5");
    service.put("qm-pvx", "AUTO_ENTER_KEY_TICKBOX", "1");
    service.put("qm-pvx", "WINDOW_NAME_TEXTBOX", "  Untitled - Notepad ");
    service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", "p\xC3\xA4ss{ENTER}");
    service.put("other-copy", "MAIN-Top", "7");
    controller.Form_Load();

    EXPECT_EQ(w.window.left_, 1234.5f);
    EXPECT_EQ(w.window.top_, 1000);
    EXPECT_EQ(w.enterBox.value_, 1);
    EXPECT_EQ(w.title.text_, "  Untitled - Notepad ");
    EXPECT_EQ(w.text.text_, "p\xC3\xA4ss{ENTER}");
}

// Bad stored values must not keep the program from ever starting again: each
// takes its default, the rest loads, one report names them all, never the text.
TEST_F(MainWindowLoad, BadValuesTakeTheirDefaultsAndAreReportedTogether)
{
    service.put("qm-pvx", "MAIN-Left", "1e39");
    service.put("qm-pvx", "MAIN-Top", std::string(500, 'x'));
    service.put("qm-pvx", "AUTOCLOSE_TICKBOX", "3");
    service.put("qm-pvx", "AUTOSTART_TICKBOX", "1");
    service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", "secret");

    const std::string message = loadError();

    EXPECT_THAT(message, HasSubstr("MAIN-Left = \"1e39\" is outside the range"));
    EXPECT_THAT(message, HasSubstr("MAIN-Top = \"" + std::string(40, 'x') + "...\""));
    EXPECT_THAT(message, Not(HasSubstr(std::string(41, 'x'))));
    EXPECT_THAT(message, HasSubstr("AUTOCLOSE_TICKBOX = \"3\" is not a tick box value"));
    EXPECT_THAT(message, HasSubstr("/home/user/.config/QM_PVX/qm-pvx.conf"));
    EXPECT_THAT(message, Not(HasSubstr("secret")));
    EXPECT_EQ(w.window.left_, 1000);
    EXPECT_EQ(w.autoCloseBox.value_, 0);
    EXPECT_EQ(w.text.text_, "secret");
    EXPECT_TRUE(w.autoStart.enabled_);

    // The next save mends the store.
    controller.EXIT_BUTTON_Click();
    EXPECT_EQ(service.section("qm-pvx").at("MAIN-Left"), "1000");
    EXPECT_EQ(service.section("qm-pvx").at("AUTOCLOSE_TICKBOX"), "0");
}

// A text that cannot be read is never shown in a message, never typed and
// never written back: the field keeps the stored bytes until the user edits it.
TEST_F(MainWindowLoad, TextsThatAreNotUtf8AreReportedAndStayAsStoredUntilEdited)
{
    const std::string title = "Caf\xE9 secret-title";
    const std::string text = "hunter2\xFF\xFE" "cd\xC3x";
    service.put("qm-pvx", "WINDOW_NAME_TEXTBOX", title);
    service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", text);

    const std::string message = loadError();

    EXPECT_THAT(message, HasSubstr("\n  WINDOW_NAME_TEXTBOX is not valid UTF-8 text"));
    EXPECT_THAT(message, HasSubstr("\n  TEXT_TO_SEND_TEXTBOX is not valid UTF-8 text"));
    EXPECT_THAT(message, HasSubstr("enter it again"));
    EXPECT_THAT(message, HasSubstr("/home/user/.config/QM_PVX/qm-pvx.conf"));
    EXPECT_THAT(message, Not(HasSubstr("secret-title")));
    EXPECT_THAT(message, Not(HasSubstr("hunter2")));
    EXPECT_THAT(message, Not(HasSubstr("default")));
    EXPECT_EQ(w.title.text_, title);
    EXPECT_EQ(w.text.text_, text);

    controller.EXIT_BUTTON_Click();
    EXPECT_THAT(service.writes, Not(Contains("WINDOW_NAME_TEXTBOX")));
    EXPECT_THAT(service.writes, Not(Contains("TEXT_TO_SEND_TEXTBOX")));
    EXPECT_THAT(service.writes, Contains("MAIN-Left"));

    w.title.text_ = "Caf\xC3\xA9";  // the user enters the title again
    service.writes.clear();
    controller.Form_Unload();
    EXPECT_THAT(service.writes, Contains("WINDOW_NAME_TEXTBOX"));
    EXPECT_THAT(service.writes, Not(Contains("TEXT_TO_SEND_TEXTBOX")));
    EXPECT_EQ(service.section("qm-pvx").at("WINDOW_NAME_TEXTBOX"), "Caf\xC3\xA9");
    EXPECT_EQ(service.section("qm-pvx").at("TEXT_TO_SEND_TEXTBOX"), text);
}

// A store that is not settings at all is reported once, the program runs on
// its defaults, and no save writes to it or fails: an unattended run set up
// by hand still ends by itself.
TEST_F(MainWindowLoad, AStoreThatIsNotSettingsIsReportedOnceAndNeverWritten)
{
    service.unusable = "The settings file /home/user/.config/QM_PVX/qm-pvx.conf holds NUL bytes.";

    const std::string message = loadError();

    EXPECT_THAT(message, StartsWith(service.unusable));
    EXPECT_THAT(message, HasSubstr("saves no settings while it is there"));
    EXPECT_THAT(message, HasSubstr("move it away"));
    EXPECT_EQ(message.find(service.unusable), message.rfind(service.unusable));
    EXPECT_EQ(std::vector({w.window.left_, w.window.top_, w.window.width_, w.window.height_}),
              std::vector({1000.0f, 1000.0f, 9480.0f, 6240.0f}));
    EXPECT_EQ(w.status.caption_, "READY...");

    w.autoCloseBox.value_ = 1;
    w.title.text_ = "Notepad";
    controller.START_STOP_BUTTON_Click();
    controller.AUTOSTART_TIMER_Timer();
    EXPECT_NO_THROW(controller.AUTOCLOSE_TIMER_Timer());
    EXPECT_TRUE(w.window.closed);
    EXPECT_TRUE(service.writes.empty());
}

class MainWindowClose : public MainWindowLoad {
protected:
    void SetUp() override
    {
        service.put("qm-pvx", "MAIN-Width", "12000");
        controller.Form_Load();
        service.writes.clear();
    }
};

TEST_F(MainWindowClose, ExitSavesThenClosesWhichSavesTheSameAgain)
{
    w.window.left_ = 1500;
    w.autoStartBox.value_ = 2;
    w.text.text_ = " two\nlines ";

    controller.EXIT_BUTTON_Click();

    const std::vector<std::string> oneSave{"MAIN-Left", "MAIN-Top", "AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                           "AUTO_ENTER_KEY_TICKBOX", "WINDOW_NAME_TEXTBOX", "TEXT_TO_SEND_TEXTBOX"};
    std::vector<std::string> twoSaves = oneSave;
    twoSaves.insert(twoSaves.end(), oneSave.begin(), oneSave.end());
    EXPECT_EQ(service.writes, twoSaves);
    EXPECT_TRUE(w.window.closed);

    const auto stored = service.section("qm-pvx");
    EXPECT_EQ(stored.size(), 8u);  // the seven written, and the width put there from outside
    EXPECT_EQ(stored.at("MAIN-Left"), "1500");
    EXPECT_EQ(stored.at("MAIN-Width"), "12000");
    EXPECT_EQ(stored.at("AUTOSTART_TICKBOX"), "2");
    EXPECT_EQ(stored.at("TEXT_TO_SEND_TEXTBOX"), " two\nlines ");
}

TEST_F(MainWindowClose, AFailedSaveStopsExitAtThatStep)
{
    service.failOnSaveOf = "WINDOW_NAME_TEXTBOX";
    EXPECT_THROW(controller.EXIT_BUTTON_Click(), std::runtime_error);
    EXPECT_FALSE(w.window.closed);
    EXPECT_THAT(service.writes, ElementsAre("MAIN-Left", "MAIN-Top", "AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                            "AUTO_ENTER_KEY_TICKBOX"));
}

// Garbled while the program ran: the first save says so, and saves after it
// go on as after a load that found the store so.
TEST_F(MainWindowClose, AStoreThatBecomesUnusableIsReportedAtTheFirstSave)
{
    service.unusable = "The settings file /home/user/.config/QM_PVX/qm-pvx.conf holds NUL bytes.";
    try {
        controller.EXIT_BUTTON_Click();
        ADD_FAILURE() << "saved";
    } catch (const UnusableSettingsStore& error) {
        EXPECT_THAT(error.what(), StartsWith(service.unusable));
        EXPECT_THAT(error.what(), HasSubstr("No settings are saved while it is there"));
    }
    EXPECT_FALSE(w.window.closed);
    EXPECT_NO_THROW(controller.EXIT_BUTTON_Click());
    EXPECT_TRUE(w.window.closed);
}

} // namespace
} // namespace qmpvx::test
