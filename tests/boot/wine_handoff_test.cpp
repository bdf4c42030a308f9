// The hand-off through the Win32 adapter under Wine: the task file written
// with the profile functions and read back with them, the markers with their
// System and Hidden attributes set by the real attrib, and the boot entries
// made by the carried bcdedit stand-in run through the command interpreter
// (which expands %systemdrive% itself).
#include <gtest/gtest.h>

#include "bcd_standin.h"
#include "boot/boot_entries.h"
#include "boot/pe_task.h"
#include "core/payload.h"
#include "core/state.h"
#include "core/text.h"
#include "platform/win32/win32_platform.h"

namespace {

using mv::Text;

class WineHandoff : public ::testing::Test {
 protected:
  static mv::Win32Platform& Platform() {
    static mv::Win32Platform platform;
    return platform;
  }
  mv::Platform& p = Platform();
  Text work, tools, drive, task;

  void SetUp() override {
    mv::SetPlatform(&Platform());
    mv::ResetProcessState();
    drive = mv::SystemDrive();
    ASSERT_EQ(drive, "C:\\");
    work = drive + "mvboot_test\\MV_OSR\\";
    tools = work + "tools\\";
    p.CreateFolder(drive + "mvboot_test");
    p.CreateFolder(work);
    p.CreateFolder(tools);
    mv::SetWorkDir(work);
    mv::SetBcdeditPath(tools + "bcdedit.exe");
    task = drive + "\\WinPE\\DaVidAZ.INI";
    mv::SetPeTaskFilePath(task);
    // What earlier runs in this prefix left behind.
    for (const Text& f : {Text("C:\\WinPE\\DaVidAZ.INI"), p.WindowsDirectory() + "\\ZaRuzoVev.ini",
                          tools + "bcdstore.txt", tools + "bcdedit.exe"})
      p.RemoveFile(f);
    ASSERT_TRUE(mv::WritePayloadFile(mv::kPayloadBcdedit)) << "the carried bcdedit";
    // The PE in place: the entries are made only for one that is there.
    p.CreateFolder(drive + "WinPE");
    ASSERT_TRUE(p.WriteWholeFile(drive + "WinPE\\boot.wim", {mv::Bytes{'M', 'S', 'W', 'I', 'M'}}));
    mv::SetSystemPartitionNumberSource([] { return Text("0:1"); });
  }
  void TearDown() override { mv::SetSystemPartitionNumberSource(nullptr); }

  Text Key(const char* key) { return p.IniRead(task, "SYSTEM", key, "<missing>"); }
  bcdstandin::Store Store() {
    mv::Bytes bytes;
    EXPECT_TRUE(p.ReadWholeFile(tools + "bcdstore.txt", bytes));
    bcdstandin::Store s;
    EXPECT_TRUE(bcdstandin::Parse(std::string(bytes.begin(), bytes.end()), s));
    return s;
  }
};

TEST_F(WineHandoff, TaskFileMarkersAndBootEntries) {
  const Text image = work + "Win10_x64.esd";
  mv::WritePeTask(3, image, "1");
  EXPECT_EQ(Key("task"), "3");
  EXPECT_EQ(Key("BootID"), "{current}") << "parsed from the stand-in's English listing";
  EXPECT_EQ(Key("Soft"), "1");
  EXPECT_EQ(Key("recovery"), "0");
  EXPECT_EQ(Key("Index"), "1");
  EXPECT_EQ(Key("FilePtah"), "\\mvboot_test\\MV_OSR\\Win10_x64.esd");
  EXPECT_EQ(Key("PartitionNumber"), "0:1");
  EXPECT_EQ(Key("BootPartition").size(), 32u);
  const Text task_file = mv::TextDigest("Dir" + image), file = mv::TextDigest(image);
  EXPECT_EQ(Key("TaskFile"), task_file);
  EXPECT_EQ(Key("File"), file);
  // Both markers are on C: here; each holds its own name and is System + Hidden.
  for (const Text& name : {task_file, file}) {
    const Text marker = drive + name;
    mv::Bytes content;
    ASSERT_TRUE(p.ReadWholeFile(marker, content)) << marker;
    EXPECT_EQ(Text(content.begin(), content.end()), name);
    const uint32_t attrs = p.GetAttributes(marker);
    EXPECT_EQ(attrs & (mv::kAttrSystem | mv::kAttrHidden), mv::kAttrSystem | mv::kAttrHidden) << marker;
    p.SetAttributes(marker, 0);
    p.RemoveFile(marker);
  }

  ASSERT_TRUE(mv::PrepareBootEntries());
  bcdstandin::Store s = Store();
  ASSERT_EQ(s.OfKind("device").size(), 1u);
  ASSERT_EQ(s.OfKind("osloader").size(), 2u);
  const bcdstandin::Entry& ram = *s.OfKind("device")[0];
  const bcdstandin::Entry* pe = s.Find(s.Find("{bootmgr}")->Get("default"));
  ASSERT_NE(pe, nullptr);
  ASSERT_NE(pe->id, s.current);
  EXPECT_EQ(pe->Get("device"), "ramdisk=[C:]\\WinPE\\boot.wim," + ram.id);
  EXPECT_EQ(pe->Get("osdevice"), "ramdisk=[C:]\\WinPE\\boot.wim," + ram.id);
  EXPECT_EQ(pe->Get("path"), "\\windows\\system32\\boot\\winload.exe") << "Wine starts like a BIOS machine";
  EXPECT_EQ(pe->Get("winpe"), "Yes");
  EXPECT_EQ(pe->Get("detecthal"), "Yes");
  EXPECT_EQ(ram.Get("ramdisksdidevice"), "partition=C:");
  EXPECT_EQ(ram.Get("ramdisksdipath"), "\\boot\\boot.sdi");
  EXPECT_EQ(s.Find("{bootmgr}")->Get("timeout"), "30");
  EXPECT_EQ(s.Find("{bootmgr}")->Get("displayorder"), s.current + " " + pe->id);
  const Text record = p.WindowsDirectory() + "\\ZaRuzoVev.ini";
  EXPECT_EQ(p.IniRead(record, "system", "UID", ""), pe->id);
  EXPECT_EQ(p.IniRead(record, "system", "REID", ""), ram.id);
  EXPECT_EQ(Key("UID"), pe->id) << "the lower-case section is the same one";
  EXPECT_EQ(Key("REID"), ram.id);

  // A second hand-off replaces the first one's entries.
  const Text first = pe->id, first_ram = ram.id;
  ASSERT_TRUE(mv::PrepareBootEntries());
  s = Store();
  EXPECT_EQ(s.OfKind("device").size(), 1u);
  EXPECT_EQ(s.OfKind("osloader").size(), 2u);
  EXPECT_EQ(s.Find(first), nullptr);
  EXPECT_EQ(s.Find(first_ram), nullptr);
  EXPECT_EQ(p.IniRead(record, "system", "UID", ""), s.Find("{bootmgr}")->Get("default"));
}

}  // namespace
