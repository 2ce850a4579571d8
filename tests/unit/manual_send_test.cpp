#include "MainWindowFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

namespace qmpvx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ManualSend : public MainWindowFixture {
protected:
    void SetUp() override
    {
        controller.Form_Load();
        w.title.text_ = "Untitled - Notepad";
        w.text.text_ = "C++ {+} ~ (a)";
        service.writes.clear();
    }
};

// A greyed Enter box counts as unticked.
TEST_F(ManualSend, ReadyArmsOneSendWhichTypesTheTextAsItStands)
{
    w.enterBox.value_ = 2;
    controller.READY_BUTTON_Click();
    EXPECT_TRUE(w.send.enabled_);
    EXPECT_EQ(w.status.caption_, "READY TO SEND...!!!");

    controller.SEND_BUTTON_Click();
    EXPECT_THAT(automation.log(), ElementsAre("AppActivate(Untitled - Notepad)", "CreateObject(WScript.Shell)",
                                              "SendKeys(C++ {+} ~ (a), wait)", "release"));
    EXPECT_EQ(w.status.caption_, "!!! TEXT STRING SENT... !!!");
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_EQ(service.writes.size(), 7u);
    EXPECT_EQ(service.section("qm-pvx").at("TEXT_TO_SEND_TEXTBOX"), "C++ {+} ~ (a)");
}

TEST_F(ManualSend, WithEnterActivatesAgainAfterTheStatusIsShown)
{
    w.enterBox.value_ = 1;
    controller.READY_BUTTON_Click();
    controller.SEND_BUTTON_Click();

    EXPECT_THAT(automation.log(),
                ElementsAre("AppActivate(Untitled - Notepad)", "CreateObject(WScript.Shell)",
                            "SendKeys(C++ {+} ~ (a), wait)", "AppActivate(Untitled - Notepad)", "SendKeys({Enter})",
                            "release"));
    EXPECT_EQ(automation.calls[2].status, "READY TO SEND...!!!");
    EXPECT_EQ(automation.calls[3].status, "!!! TEXT STRING SENT... !!!");
}

// Stored bytes that are not text, still unedited, are neither looked for nor typed.
TEST_F(ManualSend, AnUnreadableTitleOrTextStopsTheSendBeforeAnyWindowIsActivated)
{
    for (TextField* field : {static_cast<TextField*>(&w.title), static_cast<TextField*>(&w.text)}) {
        const std::string good = field->text();
        field->setText("ab\xff\xfe" "cd");
        controller.READY_BUTTON_Click();
        EXPECT_THROW(controller.SEND_BUTTON_Click(), std::runtime_error);
        EXPECT_THAT(automation.log(), IsEmpty());
        EXPECT_THAT(service.writes, IsEmpty());
        field->setText(good);
    }
}

// A failure stops the send at that step: nothing more is typed, the button
// stays disarmed, nothing is saved, the keystroke object is released.
struct Failure {
    const char* failingCall;
    std::vector<std::string> expected;
    const char* status;
};

void PrintTo(const Failure& failure, std::ostream* out)
{
    *out << "failing at " << failure.failingCall;
}

class FailedManualSend : public ManualSend, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailedManualSend, StopsAtTheFailingStep)
{
    w.enterBox.value_ = 1;
    automation.failOn = GetParam().failingCall;
    controller.READY_BUTTON_Click();

    EXPECT_THROW(controller.SEND_BUTTON_Click(), std::runtime_error);

    EXPECT_EQ(automation.log(), GetParam().expected);
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_THAT(service.writes, IsEmpty());
    EXPECT_EQ(w.status.caption_, GetParam().status);
}

const std::string kActivate = "AppActivate(Untitled - Notepad)", kCreate = "CreateObject(WScript.Shell)",
                  kType = "SendKeys(C++ {+} ~ (a), wait)";

INSTANTIATE_TEST_SUITE_P(
    EachStep, FailedManualSend,
    ::testing::Values(Failure{"AppActivate", {kActivate}, "READY TO SEND...!!!"},
                      Failure{"CreateObject", {kActivate, kCreate}, "READY TO SEND...!!!"},
                      Failure{"SendKeys(C++", {kActivate, kCreate, kType, "release"}, "READY TO SEND...!!!"},
                      Failure{"SendKeys({Enter}",
                              {kActivate, kCreate, kType, kActivate, "SendKeys({Enter})", "release"},
                              "!!! TEXT STRING SENT... !!!"}));

} // namespace
} // namespace qmpvx::test
