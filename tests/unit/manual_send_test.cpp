#include "MainWindowFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST_F(ManualSend, ReadyArmsTheSendButtonAgainAndAgain)
{
    controller.READY_BUTTON_Click();
    EXPECT_TRUE(w.send.enabled_);
    EXPECT_EQ(w.status.caption_, "READY TO SEND...!!!");
    w.status.caption_ = "changed";
    controller.READY_BUTTON_Click();
    EXPECT_EQ(w.status.caption_, "READY TO SEND...!!!");
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_THAT(automation.calls, IsEmpty());
}

TEST_F(ManualSend, WithoutEnterActivatesOnceAndTypesTheTextUnescaped)
{
    controller.READY_BUTTON_Click();
    controller.SEND_BUTTON_Click();

    EXPECT_THAT(automation.log(), ElementsAre("AppActivate(Untitled - Notepad)", "CreateObject(WScript.Shell)",
                                              "SendKeys(C++ {+} ~ (a), wait)", "release"));
    EXPECT_EQ(w.status.caption_, "!!! TEXT STRING SENT... !!!");
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_EQ(w.startStop.caption_, "START");
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

TEST_F(ManualSend, GreyedEnterTickBoxCountsAsUnticked)
{
    w.enterBox.value_ = 2;
    controller.READY_BUTTON_Click();
    controller.SEND_BUTTON_Click();
    EXPECT_EQ(automation.log().size(), 4u);
}

// A failure stops the send at that step: nothing more is typed, the button
// stays disarmed, the status stays, nothing is saved, the object is released.
struct Failure {
    const char* failingCall;
    std::vector<std::string> expected;
};

class FailedManualSend : public ManualSend, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailedManualSend, StopsAtTheFailingStep)
{
    w.enterBox.value_ = 1;
    automation.failOn = GetParam().failingCall;
    controller.READY_BUTTON_Click();

    EXPECT_THROW(controller.SEND_BUTTON_Click(), std::runtime_error);

    EXPECT_EQ(automation.log(), GetParam().expected);
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_THAT(service.writes, IsEmpty());
    EXPECT_EQ(w.status.caption_, "READY TO SEND...!!!");
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, FailedManualSend,
    ::testing::Values(Failure{"AppActivate", {"AppActivate(Untitled - Notepad)"}},
                      Failure{"CreateObject", {"AppActivate(Untitled - Notepad)", "CreateObject(WScript.Shell)"}},
                      Failure{"SendKeys(C++",
                              {"AppActivate(Untitled - Notepad)", "CreateObject(WScript.Shell)",
                               "SendKeys(C++ {+} ~ (a), wait)", "release"}}));

TEST_F(ManualSend, AFailedEnterLeavesTheSentStatusButSavesNothing)
{
    w.enterBox.value_ = 1;
    automation.failOn = "SendKeys({Enter}";
    controller.READY_BUTTON_Click();
    EXPECT_THROW(controller.SEND_BUTTON_Click(), std::runtime_error);
    EXPECT_EQ(w.status.caption_, "!!! TEXT STRING SENT... !!!");
    EXPECT_EQ(automation.log().back(), "release");
    EXPECT_THAT(service.writes, IsEmpty());
}

} // namespace
} // namespace qmpvx::test
