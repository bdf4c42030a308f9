// A fake machine for the boot hand-off tests: C: the system drive with
// C:\WINDOWS, D: holding the work directory D:\MV_OSR\, E: a data drive, the
// system partition's device name in the registry, and the two outside tools
// the hand-off runs -- attrib (applied to the fake's attributes) and the
// work directory's bcdedit, answered in-process by the bcdedit stand-in with
// its store beside the tool, after the interpreter's %systemdrive% expansion.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bcd_standin.h"
#include "core/state.h"
#include "core/text.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/process_reset.h"

namespace boottest {

using mv::Text;

// What cmd.exe does to the variable before the tool sees the line.
inline Text ExpandSystemDrive(Text line, const Text& value) {
  const Text var = "%systemdrive%";
  for (size_t at = 0; (at = mv::UpperAscii(line).find(mv::UpperAscii(var), at)) != Text::npos; at += value.size())
    line.replace(at, var.size(), value);
  return line;
}

class BootMachine : public ::testing::Test {
 protected:
  mv::FakePlatform fake;
  Text store_path;  // host path of the stand-in's store
  int bcdedit_runs = 0;

  void SetUp() override {
    mv::test::ResetProcess(&fake);
    // The stand-in bcdedit answers here, as under Wine, where the hand-off
    // may run with it.
    fake.SetRunningUnderWine(true);
    fake.AddDrive('D');
    fake.AddDrive('E');
    fake.RegWriteString(mv::kHkeyLocalMachine, "SYSTEM\\Setup", "SystemPartition", "\\Device\\HarddiskVolume1");
    fake.PutFile("C:\\WINDOWS\\regedit.exe", "MZ");
    fake.SetFileVersion("C:\\WINDOWS\\regedit.exe", "6.1.7600.16385 (win7_rtm.090713-1255)");
    fake.SetLocale24Hour(true);
    mv::LocalTime t;
    t.year = 2019, t.month = 8, t.day = 19, t.hour = 21, t.minute = 5, t.second = 7;
    fake.UseFakeClock(t);
    mv::SetWorkDir("D:\\MV_OSR\\");
    mv::SetBcdeditPath("D:\\MV_OSR\\tools\\bcdedit.exe");
    mv::SetPeTaskFilePath("C:\\\\WinPE\\DaVidAZ.INI");
    fake.PutFile("D:\\MV_OSR\\tools\\bcdedit.exe", "stand-in");
    store_path = fake.HostPath("D:\\MV_OSR\\tools\\bcdstore.txt");
    UseStore(bcdstandin::DefaultStore('C', false));
    fake.OnCommandWithCode("bcdedit.exe", [this](const Text& line) { return BcdeditRun(line); });
    fake.OnCommand("attrib", [this](const Text& line) { return Attrib(line); });
  }

  void TearDown() override { mv::ResetProcessState(); }

  void UseStore(const bcdstandin::Store& store) { ASSERT_TRUE(bcdstandin::SaveStore(store_path, store)); }
  bcdstandin::Store Store() {
    bcdstandin::Store s;
    EXPECT_TRUE(bcdstandin::LoadStore(store_path, 'C', s));
    return s;
  }

  mv::CommandResult BcdeditRun(const Text& line) {
    ++bcdedit_runs;
    std::vector<std::string> args = bcdstandin::SplitCommandLine(ExpandSystemDrive(line, "C:"));
    if (!args.empty()) args.erase(args.begin());
    std::string out;
    const int code = bcdstandin::RunWithStoreFile(store_path, 'C', args, out);
    return mv::CommandResult{out, code};
  }
  Text Bcdedit(const Text& line) { return BcdeditRun(line).output; }

  // attrib [+|-][s|h|r|a]... path
  Text Attrib(const Text& line) {
    std::vector<Text> words = mv::SplitText(line, " ");
    uint32_t set = 0, clear = 0;
    size_t i = 1;
    for (; i < words.size() && words[i].size() == 2 && (words[i][0] == '+' || words[i][0] == '-'); ++i) {
      const char f = static_cast<char>(words[i][1] | 0x20);
      uint32_t bit = 0;
      if (f == 's') bit = mv::kAttrSystem;
      if (f == 'h') bit = mv::kAttrHidden;
      if (f == 'r') bit = mv::kAttrReadOnly;
      if (f == 'a') bit = mv::kAttrArchive;
      (words[i][0] == '+' ? set : clear) |= bit;
    }
    Text path;
    for (; i < words.size(); ++i) path += (path.empty() ? "" : " ") + words[i];
    const uint32_t now = fake.GetAttributes(path);
    if (now == mv::kAttrInvalid) return "File not found - " + path + "\r\n";
    fake.SetAttributes(path, (now & ~clear) | set);
    return Text();
  }

  // The command lines run whose program is the given one.
  std::vector<Text> CommandsOf(const Text& program) {
    std::vector<Text> out;
    for (const auto& c : fake.CommandsRun())
      if (c.rfind(program, 0) == 0) out.push_back(c);
    return out;
  }

  uint32_t Attributes(const Text& path) { return fake.GetAttributes(path) & (mv::kAttrReadOnly | mv::kAttrHidden | mv::kAttrSystem); }
};

}  // namespace boottest
