// The PE task file is all the PE learns about its task: every key, value,
// marker and the order of the writes is checked here against a fake machine.
#include <gtest/gtest.h>

#include <set>

#include "boot/boot_entries.h"
#include "boot/pe_task.h"
#include "boot_machine.h"
#include "core/text.h"

using boottest::BootMachine;
using mv::Text;
using mv::TextDigest;

namespace {

const char kTask[] = "C:\\WinPE\\DaVidAZ.INI";
const char kPartition[] = "\\\\.\\GLOBALROOT\\Device\\HarddiskVolume1\\";

class PeTask : public BootMachine {
 protected:
  void SetUp() override {
    BootMachine::SetUp();
    mv::SetSystemPartitionNumberSource([] { return Text("0:2"); });
  }
  void TearDown() override {
    mv::SetSystemPartitionNumberSource(nullptr);
    BootMachine::TearDown();
  }
  Text Key(const char* key) { return fake.IniRead(kTask, "SYSTEM", key, "<missing>"); }
  // The key names the task file holds, sorted: the PE reads keys by name,
  // so which keys there are matters, not the order they were written in.
  std::set<Text> Keys() {
    std::set<Text> keys;
    for (Text line : mv::SplitText(fake.FileText(kTask), "\n")) {
      line = mv::TrimText(line);
      const size_t eq = line.find('=');
      if (eq != Text::npos) keys.insert(line.substr(0, eq));
    }
    return keys;
  }
  std::set<Text> With(std::set<Text> own) {
    own.insert({"task", "BootPartition", "BootID", "Soft", "recovery"});
    return own;
  }
};

TEST_F(PeTask, WimTaskWritesEveryKeyAndTheMarkers) {
  ASSERT_FALSE(fake.FileExists("C:\\WinPE"));
  const Text image = "D:\\MV_OSR\\Win10_x64.esd";
  ASSERT_TRUE(mv::WritePeTask(3, image, "2"));

  ASSERT_TRUE(fake.FileExists(kTask)) << "the \\WinPE folder is created first";
  EXPECT_EQ(Keys(), With({"TaskFile", "Index", "File", "FilePtah", "PartitionNumber"}));
  EXPECT_EQ(Key("task"), "3");
  EXPECT_EQ(Key("BootPartition"), TextDigest(Text(kPartition) + "2019-08-19 21:05:07"));
  EXPECT_EQ(Key("BootID"), "{current}");
  EXPECT_EQ(Key("Soft"), "1");
  EXPECT_EQ(Key("recovery"), "0");
  const Text task_file = TextDigest("Dir" + image), file = TextDigest(image);
  EXPECT_EQ(Key("TaskFile"), task_file);
  EXPECT_EQ(Key("Index"), "2");
  EXPECT_EQ(Key("File"), file);
  EXPECT_EQ(Key("FilePtah"), "\\MV_OSR\\Win10_x64.esd");
  EXPECT_EQ(Key("PartitionNumber"), "0:2");
  EXPECT_EQ(Key("WimRatio"), "<missing>");
  EXPECT_EQ(task_file.size(), 32u);

  // Task-directory marker in C:\ and image marker in D:\, each holding its own name.
  EXPECT_EQ(fake.FileText("C:\\" + task_file), task_file);
  EXPECT_EQ(fake.FileText("D:\\" + file), file);
  EXPECT_EQ(Attributes("C:\\" + task_file), mv::kAttrSystem | mv::kAttrHidden);
  EXPECT_EQ(Attributes("D:\\" + file), mv::kAttrSystem | mv::kAttrHidden);
  // The boot-partition marker is addressed through the system partition path.
  const Text boot_marker = Text(kPartition) + Key("BootPartition");
  EXPECT_EQ(CommandsOf("attrib"), (std::vector<Text>{"attrib +s +h " + boot_marker, "attrib +s +h C:\\" + task_file,
                                                      "attrib +s +h D:\\" + file}));
}

TEST_F(PeTask, GhostTaskAfterAWimTaskHoldsNothingOfTheEarlierTask) {
  ASSERT_TRUE(mv::WritePeTask(4, "D:\\MV_OSR\\os_bak\\b.WIM", ""));
  ASSERT_TRUE(mv::WritePeTask(3, "D:\\MV_OSR\\a.wim", "4"));
  ASSERT_TRUE(mv::WritePeTask(1, "E:\\win.gho", "9"));
  EXPECT_EQ(Key("task"), "1");
  EXPECT_EQ(Key("Index"), "<missing>") << "an earlier task's index would be read as this one's";
  EXPECT_EQ(Key("WimRatio"), "<missing>");
  EXPECT_EQ(Keys(), With({"FilePtah", "TaskFile", "File", "PartitionNumber"}));
  EXPECT_EQ(Key("FilePtah"), "\\win.gho");
  const Text file = TextDigest("E:\\win.gho");
  EXPECT_EQ(Key("File"), file);
  EXPECT_EQ(fake.FileText("E:\\" + file), file);
  EXPECT_EQ(Attributes("E:\\" + file), mv::kAttrSystem | mv::kAttrHidden);
  EXPECT_EQ(fake.FileText("C:\\" + TextDigest("DirE:\\win.gho")), TextDigest("DirE:\\win.gho"));
}

TEST_F(PeTask, NoTaskFileWithoutPartitionNumberOrWhenAWriteFails) {
  ASSERT_TRUE(mv::WritePeTask(3, "D:\\MV_OSR\\a.wim", "1"));
  // An unknown system partition: the PE could not tell where to install.
  mv::SetSystemPartitionNumberSource([] { return Text(); });
  EXPECT_FALSE(mv::WritePeTask(1, "E:\\win.gho", ""));
  EXPECT_EQ(Key("task"), "3") << "refused before anything was written";
  mv::SetSystemPartitionNumberSource(nullptr);
  EXPECT_FALSE(mv::WritePeTask(1, "E:\\win.gho", ""));
  mv::SetSystemPartitionNumberSource([] { return Text("0:2"); });
  // A marker that cannot be written (the image's drive is gone): no half task.
  EXPECT_FALSE(mv::WritePeTask(3, "G:\\a.wim", "1"));
  EXPECT_FALSE(fake.FileExists(kTask));
  // Neither for a task the PE does not know.
  EXPECT_FALSE(mv::WritePeTask(2, "E:\\win.gho", ""));
  EXPECT_FALSE(fake.FileExists(kTask));
}

TEST_F(PeTask, GhostTaskKeys) {
  mv::WritePeTask(1, "E:\\win.gho", "");
  EXPECT_EQ(Keys(), With({"FilePtah", "TaskFile", "File", "PartitionNumber"}));
  EXPECT_EQ(Key("Index"), "<missing>");
}

TEST_F(PeTask, BackupTaskHasAnEmptyDirectoryMarker) {
  const Text target = "D:\\MV_OSR\\os_bak\\OS_Bak20190819210507.WIM";
  mv::WritePeTask(4, target, "7");
  EXPECT_EQ(Keys(), With({"TaskFile", "File", "FilePtah", "WimRatio", "Remarks", "Name", "PartitionNumber"}));
  EXPECT_EQ(Key("task"), "4");
  EXPECT_EQ(Key("FilePtah"), "\\MV_OSR\\os_bak\\OS_Bak20190819210507.WIM");
  EXPECT_EQ(Key("WimRatio"), "--compress=LZX:20");
  EXPECT_EQ(Key("Remarks"), "Backup_Wim_File_Compressed_By_MV_OSR");
  EXPECT_EQ(Key("Name"), "MV_OSR_Backup_Wim_File");
  EXPECT_EQ(Key("Index"), "<missing>");
  const Text dir_marker = "C:\\" + TextDigest("Dir" + target);
  ASSERT_TRUE(fake.FileExists(dir_marker));
  EXPECT_EQ(fake.FileText(dir_marker), "");
  EXPECT_EQ(Attributes(dir_marker), mv::kAttrSystem | mv::kAttrHidden);
  EXPECT_EQ(fake.FileText("D:\\" + TextDigest(target)), TextDigest(target));
}

// Wine's attrib applies only the last flag of a command: the markers end up
// System and Hidden all the same.
TEST_F(PeTask, MarkersHiddenWhereAttribTakesOneFlag) {
  fake.OnCommand("attrib", [this](const Text& line) {
    const size_t last = line.rfind(' ');
    return Attrib("attrib " + line.substr(line.rfind(' ', last - 1) + 1));
  });
  mv::WritePeTask(1, "E:\\win.gho", "");
  const Text file = TextDigest("E:\\win.gho");
  EXPECT_EQ(Attributes("E:\\" + file), mv::kAttrSystem | mv::kAttrHidden);
  EXPECT_EQ(Attributes("C:\\" + TextDigest("DirE:\\win.gho")), mv::kAttrSystem | mv::kAttrHidden);
}

TEST_F(PeTask, ListingInAnotherLanguageGivesTheRunningSystem) {
  fake.OnCommand("bcdedit.exe", [](const Text&) {
    return Text("\r\nWindows 启动管理器\r\n--------------------\r\n标识符                  {bootmgr}\r\n"
                "device                  partition=C:\r\n\r\nWindows 启动加载器\r\n-------------------\r\n"
                "标识符                  {current}\r\n设备                    partition=C:\r\n"
                "路径                    \\Windows\\system32\\winload.exe\r\n");
  });
  mv::WritePeTask(3, "E:\\x.Esd", "1");
  EXPECT_EQ(Key("BootID"), "{current}");
  EXPECT_EQ(Key("task"), "3");
  EXPECT_EQ(Key("FilePtah"), "\\x.Esd");
  EXPECT_EQ(Keys(), With({"TaskFile", "Index", "File", "FilePtah", "PartitionNumber"}));
}

TEST_F(PeTask, MissingSystemPartitionValueStillWritesTheFile) {
  fake.RegRemoveValue(mv::kHkeyLocalMachine, "SYSTEM\\Setup", "SystemPartition");
  EXPECT_EQ(mv::SystemPartitionPath(), "\\\\.\\GLOBALROOT\\");
  EXPECT_TRUE(mv::WritePeTask(1, "E:\\win.gho", ""));
  EXPECT_EQ(Key("BootPartition"), TextDigest("\\\\.\\GLOBALROOT\\2019-08-19 21:05:07"));
  EXPECT_EQ(Key("FilePtah"), "\\win.gho");
}

TEST(PeTaskNumber, FromTheImageExtension) {
  EXPECT_EQ(mv::PeTaskForImage("D:\\x.gho"), 1);
  EXPECT_EQ(mv::PeTaskForImage("D:\\X.GhO"), 1);
  EXPECT_EQ(mv::PeTaskForImage("D:\\x.Esd"), 3);
  EXPECT_EQ(mv::PeTaskForImage("D:\\x.wim"), 3);
  EXPECT_EQ(mv::PeTaskForImage("D:\\a.gho\\image"), 3);
  EXPECT_EQ(mv::PeTaskForImage("D:\\x.gho.wim"), 3);
}

TEST(CurrentLoaderId, EnglishListingLayouts) {
  const Text head =
      "\r\nWindows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\n"
      "device                  partition=\\Device\\HarddiskVolume1\r\ndescription             Windows Boot Manager\r\n"
      "default                 {current}\r\n\r\n";
  const Text current =
      "Windows Boot Loader\r\n-------------------\r\nidentifier              {current}\r\n"
      "device                  partition=C:\r\npath                    \\Windows\\system32\\winload.exe\r\n"
      "description             Windows 7\r\n\r\n";
  EXPECT_EQ(mv::CurrentLoaderIdFromListing(head + current, 'C'), "{current}");
  // Another system's loader listed first: the match spans both entries.
  const Text other =
      "Windows Boot Loader\r\n-------------------\r\nidentifier              {6b4c7f2e-1d3a-11e9-9a4b-0800279a5c1d}\r\n"
      "device                  partition=D:\r\npath                    \\Windows\\system32\\winload.exe\r\n"
      "description             Windows 10\r\nosdevice                partition=D:\r\n\r\n";
  EXPECT_EQ(mv::CurrentLoaderIdFromListing(head + other + current, 'C'), "{current}");
  // The running system on D:.
  EXPECT_EQ(mv::CurrentLoaderIdFromListing(head + current + other, 'D'), "{6b4c7f2e-1d3a-11e9-9a4b-0800279a5c1d}");
  // No loader on the system drive.
  EXPECT_EQ(mv::CurrentLoaderIdFromListing(head + other, 'C'), "");
  EXPECT_EQ(mv::CurrentLoaderIdFromListing("", 'C'), "");
  // A span with no brace near its end gives nothing rather than a stray "}".
  EXPECT_EQ(mv::CurrentLoaderIdFromListing("identifier              x identifier \r\ndevice                  "
                                           "partition=C:\r\npath                    \\",
                                           'C'),
            "");
}

TEST_F(PeTask, CurrentLoaderIdSurvivesOurOwnEntry) {
  // After an earlier hand-off the PE loader is the default and shows as
  // {default}; the running system is still found.
  mv::PrepareBootEntries();
  EXPECT_EQ(mv::FindCurrentLoaderId(), "{current}");
}

TEST_F(PeTask, TimestampStylesAndParts) {
  mv::LocalTime t;
  t.year = 2019, t.month = 8, t.day = 9, t.hour = 21, t.minute = 5, t.second = 7;
  EXPECT_EQ(mv::FormatTimestamp(t, 0, 0), "2019年08月09日 21时05分07秒");
  EXPECT_EQ(mv::FormatTimestamp(t, 1, 0), "2019-08-09 21:05:07");
  EXPECT_EQ(mv::FormatTimestamp(t, 2, 0), "2019/08/09 21/05/07");
  EXPECT_EQ(mv::FormatTimestamp(t, 3, 0), "20190809210507");
  EXPECT_EQ(mv::FormatTimestamp(t, 9, 0), "2019年08月09日 21时05分07秒");
  EXPECT_EQ(mv::FormatTimestamp(t, 1, 1), "2019-08-09");
  EXPECT_EQ(mv::FormatTimestamp(t, 0, 2), "08月09日");
  EXPECT_EQ(mv::FormatTimestamp(t, 1, 3), "21:05:07");
  EXPECT_EQ(mv::FormatTimestamp(t, 0, 4), "21时05分");
  EXPECT_EQ(mv::FormatTimestamp(t, 3, 5), "0507");
  // A 12-hour locale prints the 12-hour hour without a marker.
  fake.SetLocale24Hour(false);
  EXPECT_EQ(mv::FormatTimestamp(t, 1, 0), "2019-08-09 09:05:07");
  EXPECT_EQ(mv::FormatTimestamp(t, 3, 4), "0905");
  // The current time when none is given.
  EXPECT_EQ(mv::FormatTimestamp(3, 0), "20190819090507");
}

}  // namespace
