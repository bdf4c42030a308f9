// The start-up on Windows itself (under Wine): the real drive types, files,
// attributes, shared log and the program's own resources. The prefix has
// D: as a CD-ROM and E: as a fixed drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/payload.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/text.h"
#include "platform/win32/win32_platform.h"

namespace mv {
namespace {

void RemoveTree(const Text& path) {
  for (const DirEntry& e : plat().ListFolder(path + "\\*")) {
    const Text child = path + "\\" + e.name;
    plat().SetAttributes(child, 0);
    if (e.is_directory)
      RemoveTree(child);
    else
      plat().RemoveFile(child);
  }
  plat().SetAttributes(path, 0);
  plat().RemoveFolder(path);
}

std::string Contents(const Text& path) {
  Bytes b;
  if (!plat().ReadWholeFile(path, b)) return "<unreadable>";
  return std::string(b.begin(), b.end());
}

// The messages of the log's lines (after the timestamp and five spaces).
std::vector<std::string> Messages(const std::string& log) {
  std::vector<std::string> out;
  for (const Text& line : SplitText(log, "\r\n")) {
    if (line.empty()) continue;
    const size_t at = line.find("     ");
    out.push_back(at == Text::npos ? "<no timestamp>" : line.substr(at + 5));
  }
  return out;
}

TEST(StartUpOnWindows, FirstAndSecondStart) {
  Win32Platform platform;
  SetPlatform(&platform);
  ASSERT_EQ(plat().DriveType("D:\\"), kDriveCdrom) << "the test prefix is not set up";
  ASSERT_EQ(plat().DriveType("E:\\"), kDriveFixed) << "the test prefix is not set up";
  // A clean machine: nothing left from an earlier run of this test.
  RemoveTree("E:\\MV_OSR");
  plat().RemoveFile(WindowsDrive() + "boot\\boot.sdi");
  ASSERT_FALSE(plat().FileExists("E:\\MV_OSR"));

  StartUp(0);
  const Text wd = "E:\\MV_OSR\\";
  EXPECT_EQ(WorkDir(), wd);
  EXPECT_EQ(plat().GetAttributes(wd + "tools"), kAttrHidden | kAttrDirectory);
  EXPECT_NE(plat().GetAttributes(wd + "bakfile") & kAttrDirectory, 0u);
  EXPECT_NE(plat().GetAttributes(wd + "os_bak") & kAttrDirectory, 0u);
  EXPECT_EQ(Contents(wd + kNoticeFileName), kNoticeText);

  size_t n = 0;
  const PayloadEntry* t = PayloadTable(&n);
  for (size_t i = 0; i < n; ++i) {
    if (t[i].rule == PayloadRule::kSeparate) continue;
    Bytes carried;
    ASSERT_TRUE(BuiltInPayload().Read(t[i].id, carried)) << t[i].name;
    EXPECT_EQ(Contents(PayloadTargetPath(t[i])), std::string(carried.begin(), carried.end())) << t[i].path;
  }

  // The log is readable by others while the program holds it open.
  const std::string first = Contents(wd + "MV_OSR.log");
  const auto lines = Messages(first);
  ASSERT_EQ(lines.size(), 7u) << first;
  EXPECT_TRUE(EndsWith(lines[0], " main_sub")) << lines[0];
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"WriteFile_bcdedit.exe", "真", "WriteFile_boot.sdi", "真",
                                      "WriteFile_bootsect.exe", "真"}));

  // A second run of the program: the log grows by one line, the kept files
  // are not logged again, the notice is rewritten.
  ASSERT_TRUE(plat().WriteWholeFile(wd + kNoticeFileName, {Bytes{'x'}}));
  CloseLog();
  ResetProcessState();
  StartUp(0);
  const std::string second = Contents(wd + "MV_OSR.log");
  ASSERT_EQ(second.compare(0, first.size(), first), 0) << second;
  const auto added = Messages(second.substr(first.size()));
  ASSERT_EQ(added.size(), 1u) << second;
  EXPECT_TRUE(EndsWith(added[0], " main_sub")) << added[0];
  EXPECT_EQ(Contents(wd + kNoticeFileName), kNoticeText);

  CloseLog();
  SetPlatform(nullptr);
}

// Workers log while the window thread does: every line lands whole, none
// written over another.
TEST(StartUpOnWindows, LinesOfManyThreadsStayWhole) {
  Win32Platform platform;
  SetPlatform(&platform);
  RemoveTree("E:\\MV_OSR_log");
  plat().CreateFolder("E:\\MV_OSR_log");
  SetWorkDir("E:\\MV_OSR_log\\");
  OpenLog();
  ASSERT_TRUE(LogIsOpen());
  constexpr int kThreads = 4, kLines = 400;
  std::vector<Handle> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.push_back(plat().StartThread([t] {
      for (int i = 0; i < kLines; ++i) Log("资料备份：线程 " + std::to_string(t) + " 第 " + std::to_string(i) + " 行");
    }));
  }
  for (Handle h : threads) {
    EXPECT_TRUE(plat().JoinThread(h, 60000));
    plat().ReleaseThread(h);
  }
  CloseLog();
  std::vector<std::string> expected, got = Messages(Contents("E:\\MV_OSR_log\\MV_OSR.log"));
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kLines; ++i) expected.push_back("资料备份：线程 " + std::to_string(t) + " 第 " + std::to_string(i) + " 行");
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  std::vector<std::string> lost;
  std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(lost));
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(lost.empty()) << lost.size() << " lines lost or written over";
  RemoveTree("E:\\MV_OSR_log");
  SetWorkDir(Text());
  SetPlatform(nullptr);
}

}  // namespace
}  // namespace mv
