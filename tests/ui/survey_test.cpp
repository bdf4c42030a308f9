// The survey of the wizard's first step on the fake machine: the eight lines,
// the environment report, the engine start, the network probe and what
// follows it.
#include <string>

#include "boot/boot_names.h"
#include "core/service_host.h"
#include "core/state.h"
#include "detect/survey.h"
#include "download/engine.h"
#include "tests/ui/ui_fixture.h"
#include "ui/main_names.h"

namespace mv::ui::test {
namespace {

namespace n = mv::names;

class SurveyTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    fake_.SetBatteryFlag(128);
    fake_.SetFirmwareProbeError(1);
    fake_.SetTotalMemoryMb(8090);
    fake_.SetBoardRecords({{"B450M", "Micro-Star"}});
    fake_.RegWriteString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                         "Windows 7 Ultimate");
    fake_.SetDiskIdentify(0, 2);
    fake_.SetDiskDeviceProperty(0, "  ST1000DM003 ", "");
    fake_.OnCommand("QzDir.exe", [](const mv::Text&) {
      return mv::Text("1:1\tC:\t60.00GB\t10.00GB\tPrimary\tNTFS\t\tMBR\t1\r\n");
    });
    Model().SetWidth(n::kDetectProgressTrack, 420);
    ProbeAnswers("正常");
  }
  std::string Line(int i) { return Text(n::kHardwareLabels[i]); }
  std::string Ini(const char* key) { return fake_.IniRead("D:\\MV_OSR\\config.ini", "info", key, "<none>"); }
  bool Logged(const std::string& line) {
    for (const auto& l : LogLines())
      if (l == line) return true;
    return false;
  }
};

TEST_F(SurveyTest, OnlineDesktopFillsEveryLineAndOpensTheCatalogue) {
  Model().SetEnabled(n::kNextButton, false);
  SurveyAgain();
  EXPECT_EQ(Line(0), "电脑型号：Micro-Star 台式机电脑");
  EXPECT_EQ(Line(1), "操作系统：Windows 7 Ultimate");
  EXPECT_EQ(Line(2), "系统盘符：C:\\");
  EXPECT_EQ(Line(3), "固件模式：BIOS + MBR");
  EXPECT_EQ(Line(5), "主板：B450M - Micro-Star");
  EXPECT_EQ(Line(6), "内存：7.9 GB");
  EXPECT_EQ(Line(7), "硬盘：ST1000DM003");
  EXPECT_EQ(Line(4).rfind("处理器：", 0), 0u);
  for (int i : {0, 1, 2, 3, 5, 6, 7}) EXPECT_TRUE(Logged(Line(i))) << i;

  EXPECT_EQ(Ini("StartMode"), "0");
  EXPECT_NE(Ini("SystemName"), "<none>");
  EXPECT_FALSE(UefiMode());
  EXPECT_TRUE(Logged("StartMode = Legacy"));
  EXPECT_TRUE(dl::EngineStarted());
  EXPECT_EQ(LibraryFolder(), "D:\\MV_OSR\\");

  EXPECT_TRUE(Model().Get(n::kNextButton).enabled);
  EXPECT_TRUE(Model().Get(n::kDetectAgainButton).enabled);
  EXPECT_FALSE(Model().Get(n::kDetectBusyIndicator).visible);
  EXPECT_FALSE(Model().Get(n::kDetectProceedButton).visible);
  EXPECT_EQ(Model().Width(n::kDetectProgressBar), 420);
  EXPECT_EQ(Text(n::kDetectStatusLabel), kSurveyDoneStatus);
  EXPECT_TRUE(fake_.Dialogs().empty());
  EXPECT_EQ(Model().Get(n::kCatalogueBrowser).url, service::CatalogueUrl(false));
  EXPECT_EQ(Model().Get(n::kSoftwareBrowser).url, service::SoftPageUrl(1));
  bool version_logged = false;
  for (const auto& l : LogLines()) version_logged |= l.rfind("SystemVersion = ", 0) == 0;
  EXPECT_TRUE(version_logged);
}

TEST_F(SurveyTest, NoBoardRecordTwoDisksLaptopAndSixteenGigabytes) {
  fake_.SetBoardRecords({});
  fake_.SetBatteryFlag(1);  // a battery: a laptop
  fake_.SetTotalMemoryMb(16384);
  fake_.SetDiskDeviceProperty(1, "Samsung", "SSD 860 ");
  fake_.SetDiskIdentify(1, 2);
  Survey();
  EXPECT_EQ(Line(0), "电脑型号：Unknown 笔记本电脑");
  EXPECT_EQ(Line(5), "主板：Unknown");
  EXPECT_EQ(Line(6), "内存：16.0 GB");
  EXPECT_EQ(Line(7), "硬盘：ST1000DM003 | Samsung SSD 860");

  fake_.SetBatteryFlag(255);  // unknown counts as a desktop
  Survey();
  EXPECT_EQ(Line(0), "电脑型号：Unknown 台式机电脑");
}

TEST_F(SurveyTest, NoDiskAnswersAndMemoryRounding) {
  fake_.SetDiskIdentify(0, 1);
  Survey();
  EXPECT_EQ(Line(7), "硬盘：获取失败");
  EXPECT_EQ(MemoryLine(0), "内存：0.0 GB");
  EXPECT_EQ(MemoryLine(1075), "内存：1.0 GB");  // 1.0498 rounds down
  EXPECT_EQ(MemoryLine(1076), "内存：1.1 GB");  // 1.0508 rounds up
  EXPECT_EQ(MemoryLine(1048576), "内存：1024.0 GB");
}

TEST_F(SurveyTest, UefiOpensTheGptCatalogueAndWritesStartModeOne) {
  fake_.SetFirmwareProbeError(998);
  fake_.OnCommand("QzDir.exe", [](const mv::Text&) {
    return mv::Text("1:1\t  \t0.10GB\tunknown\tGPT\tFAT32\tEFI\tGPT\t1\r\n1:3\tC:\t60.00GB\t10.00GB\tGPT\tNTFS\t\tGPT\t1\r\n");
  });
  Survey();
  EXPECT_EQ(Line(3), "固件模式：UEFI + GPT");
  EXPECT_EQ(Ini("StartMode"), "1");
  EXPECT_TRUE(UefiMode());
  EXPECT_TRUE(Logged("StartMode = UEFI"));
  EXPECT_EQ(Model().Get(n::kCatalogueBrowser).url, service::CatalogueUrl(true));
}

TEST_F(SurveyTest, SecondRunRewritesTheReportAndSurveyAgainEmptiesFirst) {
  Survey();
  fake_.SetFirmwareProbeError(998);
  // While the second run is on its first step the earlier lines are gone.
  std::string seen_during = "<not seen>";
  Model().SetChangeHook([&](const std::string& name) {
    if (name == n::kDetectStatusLabel && Text(n::kDetectStatusLabel) == "正在检测基础硬件环境.....")
      seen_during = Line(0);
  });
  SurveyAgain();
  Model().SetChangeHook(nullptr);
  EXPECT_EQ(seen_during, "");
  EXPECT_EQ(Ini("StartMode"), "1");
  // The flag is never set back.
  fake_.SetFirmwareProbeError(1);
  Survey();
  EXPECT_EQ(Ini("StartMode"), "0");
  EXPECT_TRUE(UefiMode());
}

TEST_F(SurveyTest, ProbeWithALineBreakOrNoAnswerIsOfflineAndLocalInstallShowsTheBackups) {
  for (const char* body : {"正常\r\n", "", "正", "OK"}) {
    ProbeAnswers(body);
    fake_.ClearDialogs();
    Model().SetUrl(n::kCatalogueBrowser, "");
    Model().SetPage(n::kPageHost, n::kPageReinstall);
    fake_.QueueAnswer(kResNo);
    Survey();
    auto dialogs = fake_.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u) << body;
    EXPECT_EQ(dialogs[0].text, kOfflineQuestion);
    EXPECT_EQ(dialogs[0].caption, "提示");
    EXPECT_EQ(dialogs[0].flags, kMbYesNo | kMbIconInformation);
    EXPECT_EQ(dialogs[0].owner, 0x77u);
    EXPECT_EQ(dialogs[0].buttons.at(5), "退出");
    EXPECT_EQ(dialogs[0].buttons.at(6), "本地安装");
    EXPECT_EQ(Model().Get(n::kPageHost).page, n::kPageBackup);
    EXPECT_TRUE(Model().Selected(n::kNavBackup));
    EXPECT_EQ(Text(n::kDetectStatusLabel), kOfflineStatus);
    EXPECT_FALSE(Model().Get(n::kNextButton).enabled);
    EXPECT_TRUE(Model().Get(n::kDetectAgainButton).enabled);
    EXPECT_FALSE(Model().Get(n::kDetectBusyIndicator).visible);
    EXPECT_EQ(Model().Width(n::kDetectProgressBar), 420);
    EXPECT_EQ(Model().Get(n::kCatalogueBrowser).url, "") << "no catalogue offline";
  }
  for (const auto& l : LogLines()) EXPECT_NE(l.rfind("SystemVersion = ", 0), 0u) << l;
}

TEST_F(SurveyTest, OfflineQuitEndsTheProgramInOrder) {
  ProbeAnswers("");
  fake_.QueueAnswer(kResYes);
  EXPECT_TRUE(Ends([] { Survey(); }));
  EXPECT_EQ(fake_.EndedWith(), 0);
  EXPECT_EQ(LogLines().back(), "Main_END");
}

TEST_F(SurveyTest, EngineThatDoesNotStartEndsTheProgramWithItsMessage) {
  engine_.SetInitResult(0);
  EXPECT_TRUE(Ends([] { Survey(); }));
  auto dialogs = fake_.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].text, "程序运行出错，请关闭杀毒软件后再试。");
  EXPECT_EQ(dialogs[0].caption, "错误");
  EXPECT_NE(fake_.EndedWith(), 0);
  EXPECT_TRUE(Text(n::kDetectStatusLabel).find("网络") == std::string::npos) << "no network step after it";
}

// "刷新环境" stays enabled during a survey, and the survey's waits let window
// events through: a click then must not run a second survey inside the
// first. The disk listing and the probe run once, the lines and the end are
// those of one survey.
TEST_F(SurveyTest, RefreshDuringASurveyDoesNotStartASecondOne) {
  int clicks = 0;
  fake_.SetEventHook([&] {
    if (fake_.OnWindowThread() && clicks < 5) {
      ++clicks;
      Fire(n::kRefreshButton, "click");
      Fire(n::kDetectAgainButton, "click");
    }
  });
  Survey();
  fake_.SetEventHook(nullptr);
  EXPECT_EQ(clicks, 5);
  int listings = 0;
  for (const auto& c : fake_.CommandsRun()) listings += c.find("QzDir.exe") != std::string::npos;
  EXPECT_EQ(listings, 1);
  EXPECT_EQ(fake_.UrlsFetched().size(), 1u);
  int starts = 0;
  for (const auto& l : LogLines()) starts += l == "StartMode = Legacy";
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(Line(3), "固件模式：BIOS + MBR");
  EXPECT_EQ(Text(n::kDetectStatusLabel), kSurveyDoneStatus);
  // Once it has ended, the button surveys again.
  Fire(n::kRefreshButton, "click");
  EXPECT_EQ(fake_.UrlsFetched().size(), 2u);
}

TEST_F(SurveyTest, ProgressGrowsByFiftyPerStepAndNeverPastTheTrack) {
  std::vector<int> widths;
  Model().SetChangeHook([&](const std::string& name) {
    if (name == n::kDetectProgressBar) widths.push_back(Model().Width(n::kDetectProgressBar));
  });
  Model().SetWidth(n::kDetectProgressTrack, 300);
  Survey();
  Model().SetChangeHook(nullptr);
  ASSERT_GE(widths.size(), 4u);
  EXPECT_EQ(widths.front(), 0);
  int last = 0, max = 0;
  for (int w : widths) {
    if (w != 0 && w != last) {
      EXPECT_TRUE(w == last + 50 || w == 300) << w;
    }
    last = w;
    if (w > max) max = w;
  }
  EXPECT_EQ(max, 300);
  EXPECT_EQ(widths.back(), 300);
}

}  // namespace
}  // namespace mv::ui::test
