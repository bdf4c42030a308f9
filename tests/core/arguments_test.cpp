// The program's command line: what each job takes, and what is refused
// before anything on the machine is touched.
#include <gtest/gtest.h>

#include "core/command_line.h"

namespace mv {
namespace {

using Args = std::vector<Text>;

TEST(ProgramArguments, EveryJobWithItsSwitches) {
  EXPECT_EQ(ParseProgramArguments({}).mode, ProgramCommand::kWindow);
  EXPECT_EQ(ParseProgramArguments({"-CHECK"}).mode, ProgramCommand::kCheck);

  const Text link = "http://h/images/W.wim?type=W.wim&md5=0123456789ABCDEF0123456789ABCDEF&&os_name=W&";
  ProgramCommand c = ParseProgramArguments({"/install", link, "/Backup", "docs, Drivers,desktop", "/restart", "NO"});
  EXPECT_EQ(c.mode, ProgramCommand::kInstall);
  EXPECT_TRUE(c.catalogue);
  EXPECT_EQ(c.source, link);
  EXPECT_TRUE(c.backup.documents && c.backup.drivers && c.backup.desktop);
  EXPECT_FALSE(c.backup.favorites);
  EXPECT_EQ(c.restart, RestartChoice::kNo);
  EXPECT_FALSE(c.check_only);

  c = ParseProgramArguments({"/index", "3", "-install", "E:\\imgs\\三个.ESD", "/check"});
  EXPECT_EQ(c.mode, ProgramCommand::kInstall);
  EXPECT_FALSE(c.catalogue);
  EXPECT_EQ(c.index, 3);
  EXPECT_TRUE(c.check_only);
  EXPECT_EQ(c.restart, RestartChoice::kAsk) << "the wizard's countdown unless told otherwise";

  c = ParseProgramArguments({"/backup-system", " 装机前 ", "/restart", "now"});
  EXPECT_EQ(c.mode, ProgramCommand::kBackupSystem);
  EXPECT_EQ(c.name, "装机前");
  EXPECT_EQ(c.restart, RestartChoice::kNow);

  c = ParseProgramArguments({"/restore", "F:\\os_bak\\OS_Bak.WIM", "/index", "2"});
  EXPECT_EQ(c.mode, ProgramCommand::kRestore);
  EXPECT_EQ(c.source, "F:\\os_bak\\OS_Bak.WIM");
  EXPECT_EQ(c.index, 2);

  EXPECT_EQ(ParseProgramArguments({"/report"}).report_path, "");
  c = ParseProgramArguments({"/report", "E:\\诊断.txt"});
  EXPECT_EQ(c.mode, ProgramCommand::kReport);
  EXPECT_EQ(c.report_path, "E:\\诊断.txt");
}

TEST(ProgramArguments, BadMissingAndUnknownAreRefusedWithTheReason) {
  const Text link = "http://h/W.wim?type=W.wim&md5=0123456789ABCDEF0123456789ABCDEF&";
  const struct {
    Args args;
    const char* reason;
  } cases[] = {
      {{"/reinstall", "x"}, "无法识别的参数：/reinstall"},
      {{"check"}, "多余的参数：check"},
      {{"/install"}, "/install 缺少值"},
      {{"/install", "/restart", "no"}, "/install 缺少值"},
      {{"/backup-system", "  "}, "需要备份名称"},
      {{"/check", "/check"}, "重复"},
      {{"/install", "C:\\a.wim", "/restore", "C:\\b.wim"}, "一次只能指定"},
      {{"/install", "a.wim"}, "完整路径"},
      {{"/install", "C:\\a.iso"}, "完整路径"},
      {{"/restore", "C:\\b"}, "完整路径"},
      {{"/install", "http://h/page.html"}, "不是系统目录中的镜像链接"},
      {{"/install", "http://h/x?type=localWIM"}, "不是系统目录中的镜像链接"},
      {{"/install", link, "/index", "2"}, "只用于本地 WIM/ESD"},
      {{"/install", "C:\\g.GHO", "/index", "1"}, "不能使用 /index"},
      {{"/install", "C:\\a.wim", "/index", "0"}, "/index 需要"},
      {{"/install", "C:\\a.wim", "/index", "-2"}, "/index 需要"},
      {{"/install", "C:\\a.wim", "/index", "2x"}, "/index 需要"},
      {{"/install", "C:\\a.wim", "/restart", "later"}, "/restart 只能是"},
      {{"/install", "C:\\a.wim", "/backup", "docs,music"}, "无法识别的备份项目：music"},
      {{"/install", "C:\\a.wim", "/backup", "docs,"}, "无法识别的备份项目"},
      {{"/install", "C:\\a.wim", "/check", "/restart", "no"}, "不能与 /check"},
      {{"/backup-system", "n", "/index", "1"}, "不能与 /backup-system"},
      {{"/restore", "C:\\b.wim", "/backup", "docs"}, "不能与 /restore"},
      {{"/report", "/restart", "no"}, "不能与 /report"},
      {{"/check", "/restart", "no"}, "只能与 /install"},
  };
  for (const auto& c : cases) {
    const ProgramCommand got = ParseProgramArguments(c.args);
    EXPECT_EQ(got.mode, ProgramCommand::kBad) << c.args[0] << " " << c.reason;
    EXPECT_NE(got.error.find(c.reason), Text::npos) << got.error;
  }
}

}  // namespace
}  // namespace mv
