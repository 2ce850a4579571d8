#include "MainWindowFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qmpvx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The countdown and the closing wait on a fake clock: ticks run the timers'
// operations as the window's event loop would, failures go to `errors`.
class AutomaticSend : public MainWindowFixture {
protected:
    FakeClock clock;
    std::vector<std::string> errors;

    void load(bool autoStart, bool autoClose)
    {
        w.autoStart.clock = w.autoClose.clock = &clock;
        service.put("qm-pvx", "AUTOSTART_TICKBOX", autoStart ? "1" : "0");
        service.put("qm-pvx", "AUTOCLOSE_TICKBOX", autoClose ? "1" : "0");
        service.put("qm-pvx", "WINDOW_NAME_TEXTBOX", "Target");
        service.put("qm-pvx", "TEXT_TO_SEND_TEXTBOX", "secret~");
        controller.Form_Load();
        service.writes.clear();
    }

    void advanceTo(std::int64_t until)
    {
        while (!w.window.closed) {
            FakeTimer* next = nullptr;
            for (FakeTimer* timer : {&w.autoStart, &w.autoClose}) {
                if (timer->enabled_ && timer->interval_ > 0 && timer->due <= until && (!next || timer->due < next->due))
                    next = timer;
            }
            if (!next)
                break;
            clock.now = next->due;
            next->due += next->interval_;
            try {
                next == &w.autoStart ? controller.AUTOSTART_TIMER_Timer() : controller.AUTOCLOSE_TIMER_Timer();
            } catch (const std::exception& error) {
                errors.emplace_back(error.what());
            }
        }
        clock.now = std::max(clock.now, until);
    }

    std::size_t sends() const
    {
        const std::vector<std::string> log = automation.log();
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), "SendKeys(secret~, wait)"));
    }
};

TEST_F(AutomaticSend, AutoStartSendsOnceAfterTenSecondsAndGoesIdle)
{
    load(true, false);
    advanceTo(9999);
    EXPECT_EQ(sends(), 0u);
    advanceTo(10000);
    EXPECT_THAT(automation.log(), ElementsAre("AppActivate(Target)", "CreateObject(WScript.Shell)",
                                              "SendKeys(secret~, wait)", "release"));
    EXPECT_EQ(automation.calls[0].status, "AUTO-SENDING TEXT STRING...!!!");
    EXPECT_EQ(w.status.caption_, "AUTO-SEND COMPLETED...");
    EXPECT_EQ(w.startStop.caption_, "START");
    EXPECT_TRUE(w.ready.enabled_);
    EXPECT_THAT(service.writes, IsEmpty());  // the automatic send does not save
    advanceTo(60000);
    EXPECT_EQ(sends(), 1u);
}

// AutoClose counts as it stands when the send ends; the Enter's activation
// never shows the manual send's status.
TEST_F(AutomaticSend, AutoCloseEndsTheProgramTenSecondsLaterAndSaves)
{
    load(true, false);
    w.enterBox.value_ = 1;
    advanceTo(5000);
    w.autoCloseBox.value_ = 1;
    advanceTo(10000);
    EXPECT_EQ(w.status.caption_, "AUTO-CLOSING IN 10 SECONDS !!!");
    EXPECT_EQ(w.startStop.caption_, "STOP");
    EXPECT_EQ(automation.log()[3], "AppActivate(Target)");
    EXPECT_EQ(automation.calls[3].status, "AUTO-SENDING TEXT STRING...!!!");
    advanceTo(19999);
    EXPECT_FALSE(w.window.closed);
    advanceTo(20000);
    EXPECT_TRUE(w.window.closed);
    EXPECT_EQ(service.writes.size(), 7u);
    EXPECT_EQ(sends(), 1u);
}

TEST_F(AutomaticSend, StopAbortsTheCountdownOrTheClosingWait)
{
    load(true, true);
    advanceTo(5000);
    controller.START_STOP_BUTTON_Click();
    EXPECT_EQ(w.status.caption_, "!!! ABORTED - STOPPED !!!");
    EXPECT_TRUE(w.ready.enabled_);
    advanceTo(30000);
    EXPECT_EQ(sends(), 0u);

    controller.START_STOP_BUTTON_Click();
    EXPECT_EQ(w.status.caption_, "!!! RESTARTING IN 10 SECONDS !!!");
    advanceTo(40000);
    EXPECT_EQ(sends(), 1u);
    advanceTo(45000);
    controller.START_STOP_BUTTON_Click();
    advanceTo(90000);
    EXPECT_FALSE(w.window.closed);
    EXPECT_EQ(w.status.caption_, "!!! ABORTED - STOPPED !!!");
}

// START from an armed window disarms it; STOP leaves it disarmed.
TEST_F(AutomaticSend, StartAgainWaitsTenSecondsFromTheSecondPress)
{
    load(false, false);
    controller.READY_BUTTON_Click();
    controller.START_STOP_BUTTON_Click();
    EXPECT_FALSE(w.send.enabled_);
    advanceTo(6000);
    controller.START_STOP_BUTTON_Click();
    EXPECT_FALSE(w.send.enabled_);
    EXPECT_TRUE(w.ready.enabled_);
    advanceTo(8000);
    controller.START_STOP_BUTTON_Click();
    advanceTo(17999);
    EXPECT_EQ(sends(), 0u);
    advanceTo(18000);
    EXPECT_EQ(sends(), 1u);
}

TEST_F(AutomaticSend, AFailedSendIsTriedAgainAtTheNextTick)
{
    load(true, false);
    automation.failOn = "AppActivate";
    advanceTo(10000);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(w.status.caption_, "AUTO-SENDING TEXT STRING...!!!");
    EXPECT_EQ(w.startStop.caption_, "STOP");
    EXPECT_TRUE(w.autoStart.enabled_);
    automation.failOn.clear();
    advanceTo(20000);
    EXPECT_EQ(sends(), 1u);
    EXPECT_EQ(w.status.caption_, "AUTO-SEND COMPLETED...");
}

} // namespace
} // namespace qmpvx::test
