// The countdown and the two restart buttons, driven by the fake clock: the
// main window's countdown timer fires whenever a second of fake time passes
// while it runs (also while a question box is open).
#include <gtest/gtest.h>

#include "boot/boot_names.h"
#include "boot/restart.h"
#include "download/tasks.h"
#include "platform/fake/fake_platform.h"
#include "ui/model.h"

namespace {

using mv::Text;
namespace names = mv::names;

class Countdown : public ::testing::Test {
 protected:
  mv::FakePlatform fake;
  uint32_t next_tick_due = 0;
  int ticks = 0;
  bool in_tick = false;

  void SetUp() override {
    mv::SetPlatform(&fake);
    mv::ResetRestartState();
    fake.UseFakeClock(mv::LocalTime{2019, 8, 19, 9, 0, 0, 0, 1}, 1000);
    // The window's timer: one tick per 1000 ms of fake time while its interval is set.
    fake.SetClockHook([this](uint32_t now) {
      while (!in_tick && Model().Get(names::kRestartTimer).timer_ms == 1000 && now >= next_tick_due) {
        next_tick_due += 1000;
        ++ticks;
        in_tick = true;
        struct Leave {
          bool& f;
          ~Leave() { f = false; }
        } leave{in_tick};
        mv::RestartCountdownTick();
      }
    });
    mv::dl::SetBusyFlag(1);
  }
  void TearDown() override { mv::ResetRestartState(); }

  mv::ui::WindowModel& Model() { return mv::ui::MainModel(); }
  Text Status() { return Model().Text(names::kRestartStatusLabel); }
  void Start() {
    mv::StartRestartCountdown();
    next_tick_due = fake.TickCount() + 1000;
  }
  // Lets fake time pass second by second; true when the program ended on the way.
  bool Wait(uint32_t seconds) {
    try {
      for (uint32_t i = 0; i < seconds; ++i) fake.AdvanceClock(1000);
    } catch (const mv::FakeProcessEnded& end) {
      EXPECT_EQ(end.code, 0);
      return true;
    }
    return false;
  }
  static Text Counting(int n) {
    return "所有准备工作已经就绪，" + std::to_string(n) + "秒后将自动重启\r\n进入还原阶段，或单击右下角按钮手动操作";
  }
};

TEST_F(Countdown, NinetyNineTicksThenRestart) {
  EXPECT_FALSE(Model().Get(names::kRestartStatusLabel).visible);
  Start();
  EXPECT_TRUE(Model().Get(names::kRestartStatusLabel).visible);
  EXPECT_EQ(Model().Get(names::kNextButton).role, names::kRoleRestartNow);
  EXPECT_EQ(Model().Get(names::kBackButton).role, names::kRoleRestartLater);
  EXPECT_EQ(Model().Get(names::kNextButton).images.at(0), names::kRestartNowImages[0]);
  for (const char* step : names::kStepImages) EXPECT_EQ(Model().Get(step).images.at(0), names::kStepDoneImage);

  ASSERT_FALSE(Wait(1));
  EXPECT_EQ(Status(), Counting(98));
  ASSERT_FALSE(Wait(97));
  EXPECT_EQ(Status(), Counting(1));
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_EQ(mv::dl::BusyFlag(), 1);
  const uint32_t before_last = fake.TickCount();
  ASSERT_TRUE(Wait(1));
  EXPECT_EQ(ticks, 99);
  EXPECT_EQ(Status(), "倒计时完毕，重启后自动启动PE系统\r\n所有过程自动完成，请勿进行任何操作");
  EXPECT_EQ(Model().Get(names::kRestartTimer).timer_ms, 0u);
  EXPECT_EQ(fake.RestartRequests(), 1);
  EXPECT_EQ(mv::dl::BusyFlag(), 0);
  EXPECT_EQ(fake.TickCount() - before_last, 2000u) << "the last tick, then a second's wait before the restart";
}

TEST_F(Countdown, NoToRestartNowKeepsCounting) {
  fake.SetFirstVisibleOwnWindow(0x4711);
  Start();
  ASSERT_FALSE(Wait(5));
  // The box stays open for three seconds; the countdown goes on meanwhile.
  fake.SetDialogHandler([this](const mv::FakeDialog&) {
    fake.AdvanceClock(3000);
    return static_cast<int>(mv::kResNo);
  });
  bool navigated = false;
  mv::OnNextButtonClick([&] { navigated = true; });
  EXPECT_FALSE(navigated);
  const auto dialogs = fake.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].caption, "是否立即重启？");
  EXPECT_EQ(dialogs[0].text, "重启后将自动安装系统，请妥善处理您当前的操作，是否要立即重启？");
  EXPECT_EQ(dialogs[0].flags, mv::kMbYesNo | mv::kMbIconQuestion);
  EXPECT_EQ(dialogs[0].owner, 0x4711u) << "owned by the program's first visible window";
  EXPECT_EQ(Status(), Counting(91));
  ASSERT_FALSE(Wait(10));
  EXPECT_EQ(Status(), Counting(81));
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_TRUE(Wait(81));
  EXPECT_EQ(fake.RestartRequests(), 1);
}

TEST_F(Countdown, YesToRestartNowRestartsAtOnce) {
  Start();
  ASSERT_FALSE(Wait(3));
  fake.QueueAnswer(mv::kResYes);
  EXPECT_THROW(mv::OnNextButtonClick(nullptr), mv::FakeProcessEnded);
  EXPECT_EQ(fake.RestartRequests(), 1);
  EXPECT_EQ(ticks, 3) << "no tick after the timer was stopped";
  EXPECT_EQ(Status(), "重启后自动启动PE系统\r\n所有过程自动完成，请勿进行任何操作");
  EXPECT_EQ(mv::dl::BusyFlag(), 0);
}

TEST_F(Countdown, RestartLaterStopsTheAutomaticRestart) {
  Start();
  ASSERT_FALSE(Wait(2));
  fake.QueueAnswer(mv::kResNo);
  mv::OnBackButtonClick(nullptr);
  EXPECT_EQ(Status(), Counting(97)) << "No changes nothing";
  fake.QueueAnswer(mv::kResYes);
  mv::OnBackButtonClick(nullptr);
  const auto dialogs = fake.Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1].caption, "是否稍候重启？");
  EXPECT_EQ(dialogs[1].text, "所有设置已经就绪，重启后将自动安装系统，如果您有未完成的工作，您可以稍候重启。");
  EXPECT_EQ(dialogs[1].flags, mv::kMbYesNo | mv::kMbIconQuestion);
  const Text later = "所有设置已经就绪，重启后将自动安装系统\r\n请妥善处理您的准备工作后，单击立即重启";
  EXPECT_EQ(Status(), later);
  EXPECT_EQ(mv::dl::BusyFlag(), 0);
  EXPECT_FALSE(Wait(300));
  EXPECT_EQ(Status(), later);
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_EQ(ticks, 2);
  // The buttons keep their roles: restart now still restarts.
  fake.QueueAnswer(mv::kResYes);
  EXPECT_THROW(mv::OnNextButtonClick(nullptr), mv::FakeProcessEnded);
  EXPECT_EQ(fake.RestartRequests(), 1);
}

TEST_F(Countdown, ClicksBeforeTheCountdownNavigate) {
  int next = 0, back = 0;
  mv::OnNextButtonClick([&] { ++next; });
  mv::OnBackButtonClick([&] { ++back; });
  EXPECT_EQ(next, 1);
  EXPECT_EQ(back, 1);
  EXPECT_TRUE(fake.Dialogs().empty());
  EXPECT_FALSE(Wait(120));
  EXPECT_EQ(fake.RestartRequests(), 0);
}

TEST_F(Countdown, RequestsEndWithTenSecondsAndARestart) {
  const uint32_t start = fake.TickCount();
  EXPECT_THROW(mv::FinishRequestWithRestart(), mv::FakeProcessEnded);
  EXPECT_TRUE(Model().Get(names::kRestartNotice).visible);
  EXPECT_EQ(fake.TickCount() - start, 10000u);
  EXPECT_EQ(fake.RestartRequests(), 1);
  EXPECT_TRUE(fake.Dialogs().empty());
  EXPECT_EQ(mv::dl::BusyFlag(), 0);
}

}  // namespace
