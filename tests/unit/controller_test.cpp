#include "Fakes.h"

#include "core/MainWindowController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace qmpvx::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

// The main window's logic on fake controls, a recording settings service and
// a recording keystroke service; closing the window runs its close operation.
class MainWindowFixture : public ::testing::Test {
protected:
    FakeMainWindow w;
    FakeSettings service;
    StartedExecutable exe{"qm-pvx"};
    SettingsStore store{service, exe};
    RecordingAutomation automation;
    struct : ModalWindow {
        void showModal() override {}
    } about;
    MainWindowController controller{w.controls, store, exe, automation, about};

    MainWindowFixture()
    {
        w.window.onClose = [this] { controller.Form_Unload(); };
        automation.status = &w.status;
    }

    // A window ready to send: its target and text stored, the load's own writes forgotten.
    void loadToSend(bool autoStart = false, bool autoClose = false)
    {
        service.put("qm-pvx", "AUTOSTART_TICKBOX", autoStart ? "1" : "0");
        service.put("qm-pvx", "AUTOCLOSE_TICKBOX", autoClose ? "1" : "0");
        service.put("qm-pvx", "WINDOW_NAME_TEXTBOX", "Untitled - Notepad");
        service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", "C++ {+} ~ (a)");
        controller.Form_Load();
        service.writes.clear();
    }

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

using MainWindowLoad = MainWindowFixture;

// Only a tick stored for this copy's own name counts: a greyed box starts nothing.
TEST_F(MainWindowLoad, AutoStartCountsDownOnlyWhenThisCopysBoxIsTicked)
{
    const struct {
        const char* section;
        const char* stored;
        bool counting;
    } cases[] = {{"other-copy", "1", false}, {"qm-pvx", "2", false}, {"qm-pvx", "1", true}};
    for (const auto& c : cases) {
        service.sections.clear();
        service.put(c.section, "AUTOSTART_TICKBOX", c.stored);
        FakeMainWindow window;
        MainWindowController(window.controls, store, exe, automation, about).Form_Load();
        EXPECT_EQ(window.status.caption_, c.counting ? "AUTO-STARTING IN 10 SECONDS..." : "READY...") << c.stored;
        EXPECT_EQ(window.startStop.caption_, c.counting ? "STOP" : "START");
        EXPECT_EQ(window.autoStart.enabled_, c.counting);
        EXPECT_EQ(window.ready.enabled_, !c.counting);
        EXPECT_TRUE(service.writes.empty());
    }
}

// Bad stored values must not keep the program from ever starting again: each
// takes its default, the rest loads, one report names them all.
TEST_F(MainWindowLoad, BadValuesTakeTheirDefaultsAndAreReportedTogether)
{
    service.put("qm-pvx", "MAIN-Left", "1e39");
    service.put("qm-pvx", "MAIN-Top", std::string(39, 'a') + "\xC3\xA9tail");  // a two-byte character across the cut
    service.put("qm-pvx", "MAIN-Width", "line\nbreak");
    service.put("qm-pvx", "AUTOCLOSE_TICKBOX", "3");
    service.put("qm-pvx", "AUTOSTART_TICKBOX", "1");

    const std::string message = loadError();

    EXPECT_THAT(message, HasSubstr("MAIN-Left = \"1e39\" is outside the range"));
    EXPECT_THAT(message, HasSubstr("MAIN-Top = \"" + std::string(39, 'a') + "...\""));
    EXPECT_THAT(message, HasSubstr("MAIN-Width = \"line?break\""));
    EXPECT_THAT(message, HasSubstr("AUTOCLOSE_TICKBOX = \"3\" is not a tick box value"));
    EXPECT_EQ(w.window.left_, 1000);
    EXPECT_EQ(w.autoCloseBox.value_, 0);
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
    const std::string text = "hunter2\xFF\xFE" "cd\xC3x";
    service.put("qm-pvx", "WINDOW_NAME_TEXTBOX", "Caf\xE9 secret-title");
    service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", text);

    const std::string message = loadError();

    EXPECT_THAT(message, HasSubstr("\n  WINDOW_NAME_TEXTBOX is not valid UTF-8 text"));
    EXPECT_THAT(message, HasSubstr("\n  TEXT_TO_SEND_TEXTBOX is not valid UTF-8 text"));
    EXPECT_THAT(message, HasSubstr("enter it again"));
    EXPECT_THAT(message, Not(HasSubstr("secret-title")));
    EXPECT_THAT(message, Not(HasSubstr("hunter2")));

    w.title.text_ = "Caf\xC3\xA9";  // the user enters the title again
    controller.EXIT_BUTTON_Click();
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
    EXPECT_EQ(message.find(service.unusable), message.rfind(service.unusable));
    EXPECT_EQ(std::vector({w.window.left_, w.window.top_, w.window.width_, w.window.height_}),
              std::vector({1000.0f, 1000.0f, 9480.0f, 6240.0f}));

    w.autoCloseBox.value_ = 1;
    w.title.text_ = "Notepad";
    controller.START_STOP_BUTTON_Click();
    controller.AUTOSTART_TIMER_Timer();
    EXPECT_NO_THROW(controller.AUTOCLOSE_TIMER_Timer());
    EXPECT_TRUE(w.window.closed);
    EXPECT_TRUE(service.writes.empty());
}

const std::string kActivate = "AppActivate(Untitled - Notepad)", kCreate = "CreateObject(WScript.Shell)",
                  kType = "SendKeys(C++ {+} ~ (a), wait)";

class LoadedWindow : public MainWindowFixture {
protected:
    void SetUp() override { loadToSend(); }
};
using MainWindowClose = LoadedWindow;
using ManualSend = LoadedWindow;

// A save that fails keeps the window open, so nothing is lost without a word.
// A store garbled while the program ran is reported at the first save; saves
// after it go on as after a load that found the store so.
TEST_F(MainWindowClose, AFailedSaveStopsExit)
{
    service.failOnSaveOf = "WINDOW_NAME_TEXTBOX";
    EXPECT_THROW(controller.EXIT_BUTTON_Click(), std::runtime_error);
    EXPECT_FALSE(w.window.closed);

    service.failOnSaveOf.clear();
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

// A greyed Enter box counts as unticked.
TEST_F(ManualSend, ReadyArmsOneSendWhichTypesTheTextAsItStands)
{
    w.enterBox.value_ = 2;
    controller.READY_BUTTON_Click();
    EXPECT_TRUE(w.send.enabled_);
    EXPECT_EQ(w.status.caption_, "READY TO SEND...!!!");

    w.text.text_ = "edited~";
    controller.SEND_BUTTON_Click();
    EXPECT_THAT(automation.calls, ElementsAre(kActivate, kCreate, "SendKeys(edited~, wait)", "release"));
    EXPECT_EQ(w.status.caption_, "!!! TEXT STRING SENT... !!!");
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_EQ(service.writes.size(), 7u);
    EXPECT_EQ(service.section("qm-pvx").at("TEXT_TO_SEND_TEXTBOX"), "edited~");
}

// Stored bytes that are not text, still unedited, are neither looked for nor typed.
TEST_F(ManualSend, AnUnreadableTitleOrTextStopsTheSendBeforeAnyWindowIsActivated)
{
    for (TextField* field : {static_cast<TextField*>(&w.title), static_cast<TextField*>(&w.text)}) {
        const std::string good = field->text();
        field->setText("ab\xff\xfe" "cd");
        controller.READY_BUTTON_Click();
        EXPECT_THROW(controller.SEND_BUTTON_Click(), std::runtime_error);
        EXPECT_THAT(automation.calls, IsEmpty());
        EXPECT_THAT(service.writes, IsEmpty());
        field->setText(good);
    }
}

// A failure stops the send at that step: nothing more is typed, the button
// stays disarmed, nothing is saved, the keystroke object is released. With
// Enter, the window is activated again once the status says the text is sent.
TEST_F(ManualSend, AFailureStopsTheSendAtTheFailingStep)
{
    const struct {
        const char* failingCall;
        std::vector<std::string> expected;
        const char* status;
    } cases[] = {
        {"AppActivate", {kActivate}, "READY TO SEND...!!!"},
        {"CreateObject", {kActivate, kCreate}, "READY TO SEND...!!!"},
        {"SendKeys(C++", {kActivate, kCreate, kType, "release"}, "READY TO SEND...!!!"},
        {"SendKeys({Enter}", {kActivate, kCreate, kType, kActivate, "SendKeys({Enter})", "release"},
         "!!! TEXT STRING SENT... !!!"},
    };
    w.enterBox.value_ = 1;
    for (const auto& c : cases) {
        automation.failOn = c.failingCall;
        automation.calls.clear();
        controller.READY_BUTTON_Click();
        EXPECT_THROW(controller.SEND_BUTTON_Click(), std::runtime_error) << c.failingCall;
        EXPECT_EQ(automation.calls, c.expected) << c.failingCall;
        EXPECT_FALSE(w.send.enabled_);
        EXPECT_THAT(service.writes, IsEmpty());
        EXPECT_EQ(w.status.caption_, c.status);
    }
}

// The countdown and the closing wait on a fake clock: ticks run the timers'
// operations as the window's event loop would, failures go to `errors`.
class AutomaticSend : public MainWindowFixture {
protected:
    std::int64_t now = 0;  // milliseconds
    std::vector<std::string> errors;

    AutomaticSend() { w.autoStart.now = w.autoClose.now = &now; }

    void advanceTo(std::int64_t until)
    {
        while (now < until && !w.window.closed) {
            ++now;
            for (FakeTimer* timer : {&w.autoStart, &w.autoClose}) {
                if (!timer->enabled_ || timer->due != now)
                    continue;
                timer->due += timer->interval_;
                try {
                    timer == &w.autoStart ? controller.AUTOSTART_TIMER_Timer() : controller.AUTOCLOSE_TIMER_Timer();
                } catch (const std::exception& error) {
                    errors.emplace_back(error.what());
                }
            }
        }
    }

    long sends() const { return std::ranges::count(automation.calls, kType); }
};

// A failed send is tried again at the next tick: an unattended start can wait
// for a program still starting. Once sent, the window is idle for good.
TEST_F(AutomaticSend, AutoStartSendsAfterTenSecondsRetriesEachTickAndThenGoesIdle)
{
    loadToSend(true, false);
    automation.failOn = "AppActivate";
    advanceTo(9999);
    EXPECT_THAT(automation.calls, IsEmpty());
    advanceTo(10000);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(w.status.caption_, "AUTO-SENDING TEXT STRING...!!!");
    EXPECT_EQ(w.startStop.caption_, "STOP");
    automation.failOn.clear();
    advanceTo(19999);
    EXPECT_EQ(automation.calls.size(), 1u);
    advanceTo(20000);
    EXPECT_THAT(automation.calls, ElementsAre(kActivate, kActivate, kCreate, kType, "release"));
    EXPECT_EQ(automation.statuses[1], "AUTO-SENDING TEXT STRING...!!!");
    EXPECT_EQ(w.status.caption_, "AUTO-SEND COMPLETED...");
    EXPECT_EQ(w.startStop.caption_, "START");
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_THAT(service.writes, IsEmpty());  // the automatic send does not save
    advanceTo(60000);
    EXPECT_EQ(sends(), 1);
}

// AutoClose counts as it stands when the send ends; the Enter's activation
// never shows the manual send's status.
TEST_F(AutomaticSend, AutoCloseEndsTheProgramTenSecondsLaterAndSaves)
{
    loadToSend(true, false);
    w.enterBox.value_ = 1;
    advanceTo(5000);
    w.autoCloseBox.value_ = 1;
    advanceTo(10000);
    EXPECT_EQ(w.status.caption_, "AUTO-CLOSING IN 10 SECONDS !!!");
    EXPECT_EQ(w.startStop.caption_, "STOP");
    EXPECT_EQ(automation.calls[3], kActivate);
    EXPECT_EQ(automation.statuses[3], "AUTO-SENDING TEXT STRING...!!!");
    advanceTo(19999);
    EXPECT_FALSE(w.window.closed);
    advanceTo(20000);
    EXPECT_TRUE(w.window.closed);
    EXPECT_EQ(service.writes.size(), 7u);
    EXPECT_EQ(sends(), 1);
}

// A restart counts ten seconds from its own press; START from an armed window
// disarms it and STOP leaves it disarmed.
TEST_F(AutomaticSend, StopAbortsTheCountdownOrTheClosingWaitAndStartCountsAfresh)
{
    loadToSend(true, true);
    advanceTo(5000);
    controller.START_STOP_BUTTON_Click();
    EXPECT_EQ(w.status.caption_, "!!! ABORTED - STOPPED !!!");
    EXPECT_TRUE(w.ready.enabled_);
    advanceTo(30000);
    EXPECT_EQ(sends(), 0);

    controller.READY_BUTTON_Click();
    controller.START_STOP_BUTTON_Click();
    EXPECT_EQ(w.status.caption_, "!!! RESTARTING IN 10 SECONDS !!!");
    EXPECT_FALSE(w.send.enabled_);
    advanceTo(39999);
    EXPECT_EQ(sends(), 0);
    advanceTo(40000);
    EXPECT_EQ(sends(), 1);
    advanceTo(45000);
    controller.START_STOP_BUTTON_Click();
    advanceTo(90000);
    EXPECT_FALSE(w.window.closed);
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_EQ(w.status.caption_, "!!! ABORTED - STOPPED !!!");
}

} // namespace
} // namespace qmpvx::test
