// The diagnostics file on the fake machine: every section there with what
// the machine holds, the log's end without the user's files, GBK texts as
// UTF-8, and "/report" changing nothing but the file it writes.
#include <filesystem>
#include <set>

#include "boot_machine.h"
#include "core/command_line.h"
#include "core/md5.h"
#include "core/payload.h"
#include "core/service_host.h"
#include "detect/partition_listing.h"
#include "report/diagnostics.h"
#include "report/report_command.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

class Diagnostics : public boottest::BootMachine {
 protected:
  void SetUp() override {
    BootMachine::SetUp();
    fake.AddDrive('F', kDriveFixed, -1);  // fixed, free space unreadable
    SetSystemPartitionValues("0:2", "MBR");
    fake.SetUrlText(service::PePageUrl(false), "http://h/pe/pe.wim&filename=pe.wim&md5=0123456789ABCDEF0123456789ABCDEF&");
    fake.PutFile("D:\\MV_OSR\\config.ini", "[info]\r\nSystemName=Windows 7 旗舰版\r\nStartMode=0\r\n");
    fake.PutFile("C:\\WinPE\\DaVidAZ.INI", "[SYSTEM]\r\ntask=3\r\n");
    std::string log;
    for (int i = 1; i <= 600; ++i) log += "2019年8月19日     line " + std::to_string(i) + "\r\n";
    log += "2019年8月19日     备份失败：" + SpecialFolder(1) + "私人日记.txt\r\n";
    fake.PutFile("D:\\MV_OSR\\MV_OSR.log", log);
  }
  void TearDown() override {
    ui::ClearHandlers();
    for (const char* label : names::kHardwareLabels) ui::MainModel().SetText(label, "");
    BootMachine::TearDown();
  }
  const ReportSection& Section(const std::vector<ReportSection>& all, const Text& start) {
    for (const ReportSection& s : all)
      if (s.title.compare(0, start.size(), start) == 0) return s;
    ADD_FAILURE() << "no section " << start;
    static const ReportSection none;
    return none;
  }
  static bool Has(const ReportSection& s, const Text& text) {
    for (const Text& l : s.lines)
      if (l.find(text) != Text::npos) return true;
    return false;
  }
};

TEST_F(Diagnostics, EverySectionHoldsWhatTheMachineHas) {
  const std::vector<Text> survey = {"电脑型号：Unknown 台式机电脑", "操作系统：", "系统盘符：C:\\", "固件模式：BIOS + MBR",
                                    "处理器：", "主板：Unknown", "内存：1.0 GB", "硬盘：获取失败"};
  const std::vector<ReportSection> all = GatherDiagnostics({"OSR1.1.19.819", "测试构建", survey});
  std::vector<Text> titles;
  for (const ReportSection& s : all) titles.push_back(s.title.substr(0, s.title.find("（")));
  EXPECT_EQ(titles, (std::vector<Text>{"程序", "环境检测", "安装前检查", "config.ini", "PE任务文件", "启动配置",
                                       "携带的工具", "固定磁盘剩余空间", "运行日志"}));
  EXPECT_TRUE(Has(Section(all, "程序"), "OSR1.1.19.819"));
  EXPECT_TRUE(Has(Section(all, "程序"), "构建：测试构建"));
  EXPECT_EQ(Section(all, "环境检测").lines, survey);
  EXPECT_EQ(Section(all, "安装前检查").lines.size(), 8u);
  EXPECT_TRUE(Has(Section(all, "安装前检查"), "[通过] PE下载页：PE文件 pe.wim"));
  EXPECT_EQ(Section(all, "config.ini").lines[1], "SystemName=Windows 7 旗舰版");
  EXPECT_EQ(Section(all, "PE任务文件（C:\\\\WinPE\\DaVidAZ.INI）").lines,
            (std::vector<Text>{"[SYSTEM]", "task=3"}));
  // The boot store as the tool lists it.
  const ReportSection& store = Section(all, "启动配置");
  EXPECT_EQ(std::vector<Text>(store.lines.begin(), store.lines.end() - 1), LastLines(Bcdedit(""), 100000));
  EXPECT_EQ(store.lines.back(), "（返回值 0）");
  // One line per carried file: size, digest, stand-in or not.
  size_t n = 0;
  const PayloadEntry* table = PayloadTable(&n);
  const ReportSection& tools = Section(all, "携带的工具");
  ASSERT_EQ(tools.lines.size(), n);
  Bytes bcdedit;
  ASSERT_TRUE(CurrentPayload().Read(kPayloadBcdedit, bcdedit));
  Md5 md5;
  md5.Update(bcdedit.data(), bcdedit.size());
  uint8_t digest[16];
  md5.Final(digest);
  EXPECT_TRUE(Has(tools, "D:\\MV_OSR\\tools\\bcdedit.exe  " + std::to_string(bcdedit.size()) +
                             " 字节  MD5 " + Md5::Hex(digest, true) + "  测试用替代文件  磁盘上不同"))
      << tools.lines[0];
  EXPECT_EQ(tools.lines.back().find(PayloadTargetPath(table[n - 1])), 0u);
  EXPECT_EQ(Section(all, "固定磁盘剩余空间").lines,
            (std::vector<Text>{"C:  剩余 20.00 GB", "D:  剩余 50.00 GB", "E:  剩余 50.00 GB", "F:  无法读取"}));
  // The log's last 500 lines, a line naming a file of the user's documents left out.
  const ReportSection& log = Section(all, "运行日志");
  ASSERT_EQ(log.lines.size(), kReportLogLines);
  EXPECT_EQ(log.lines.front(), "2019年8月19日     line 102");
  EXPECT_EQ(log.lines[log.lines.size() - 2], "2019年8月19日     line 600");
  EXPECT_EQ(log.lines.back(), "（此行含用户文件夹中的路径，已略去）");
}

TEST_F(Diagnostics, TheFileIsUtf8AndXpGivesBootIni) {
  fake.SetFileVersion("C:\\WINDOWS\\regedit.exe", "5.1.2600.5512");
  fake.PutFile("C:\\boot.ini", "[operating systems]\r\nC:\\qzload.pbr=\"Win10PE 中文\"\r\n");
  const std::vector<ReportSection> all = GatherDiagnostics({"v", "b", {}});
  EXPECT_EQ(Section(all, "启动配置（C:\\boot.ini）").lines[1], "C:\\qzload.pbr=\"Win10PE 中文\"");
  EXPECT_EQ(Section(all, "环境检测").lines.size(), 8u) << "read now when the window has none";

  const Bytes bytes = DiagnosticsFileBytes({{"标题", {"中文 ok"}}});
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
            "\xEF\xBB\xBF==== \xE6\xA0\x87\xE9\xA2\x98 ====\r\n\xE4\xB8\xAD\xE6\x96\x87 ok\r\n\r\n");
}

TEST_F(Diagnostics, ReportCommandWritesTheFileAndNothingElse) {
  auto files = [&] {
    std::set<std::string> all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(fake.Root())) all.insert(e.path().string());
    return all;
  };
  const std::set<std::string> before = files();
  EXPECT_EQ(RunReportCommand("E:\\诊断.txt"), kExitReady);
  std::set<std::string> after = files();
  EXPECT_EQ(after.erase(fake.HostPath("E:\\诊断.txt")), 1u);
  EXPECT_EQ(after, before);
  const std::string text = fake.FileText("E:\\诊断.txt");
  EXPECT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0);
  EXPECT_NE(text.find("==== \xE8\xBF\x90\xE8\xA1\x8C"), std::string::npos) << "the log's section, in UTF-8";
  EXPECT_EQ(RunReportCommand("G:\\nowhere\\x.txt"), kExitReportFailed);
}

// The title menu's item: the window's survey lines, the file on the desktop,
// a box that says where.
TEST_F(Diagnostics, TheMenuItemSavesOnTheDesktopAndSaysWhere) {
  ui::MainModel().SetText(names::kHardwareLabels[0], "电脑型号：演示 台式机电脑");
  InstallReportMenuItem();
  ASSERT_TRUE(ui::Fire(names::kMenuReportItem, "click"));
  const Text path = DefaultReportPath();
  EXPECT_EQ(path.compare(0, SpecialFolder(0).size(), SpecialFolder(0)), 0) << path;
  const std::string text = fake.FileText(path);
  EXPECT_NE(text.find("\xE7\x94\xB5\xE8\x84\x91\xE5\x9E\x8B\xE5\x8F\xB7"), std::string::npos)
      << "the window's first survey line, in UTF-8";
  ASSERT_EQ(fake.Dialogs().size(), 1u);
  EXPECT_NE(fake.Dialogs()[0].text.find(path), Text::npos);
}

}  // namespace
}  // namespace mv
