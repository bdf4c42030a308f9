// The restore-point search and the backup page's three requests, on the fake machine.
#include <gtest/gtest.h>

#include "backup/backup_page.h"
#include "tests/backup/backup_fixture.h"

namespace mv {
namespace {

using RestorePoints = BackupTest;

TEST_F(RestorePoints, FindsImagesOffTheSystemDriveToTwoLevelsGhoFirst) {
  fake_.AddDrive('E');
  fake_.AddDrive('F', kDriveCdrom);
  fake_.AddDrive('R', kDriveRamdisk);
  fake_.PutFile("C:\\sys.wim", "x");                        // system drive: never
  fake_.PutFile("D:\\MV_OSR\\os_bak\\OS_Bak1.WIM", "x");     // D:\MV_OSR\os_bak: three components
  fake_.PutFile("D:\\x.wim", "x");
  fake_.PutFile("D:\\x.gho", "x");
  fake_.PutFile("D:\\$RECYCLE.BIN\\S-1-5-21\\y.wim", "x");  // recycle bin: walked, not listed
  fake_.PutFile("D:\\RECYCLER\\z.gho", "x");
  fake_.PutFile("E:\\1\\2\\deep.gho", "x");
  fake_.PutFile("E:\\1\\2\\3\\deeper.gho", "x");            // four components: not entered
  fake_.PutFile("E:\\backup\\a.Esd", "x");
  fake_.PutFile("E:\\notes.txt", "x");
  fake_.PutFile("F:\\cd.sna", "x");
  fake_.PutFile("R:\\ram.wim", "x");                        // RAM disks are left out

  SearchBackups();
  const std::vector<std::string> expected = {"D:\\x.gho", "D:\\x.wim", "D:\\MV_OSR\\os_bak\\OS_Bak1.WIM",
                                             "E:\\1\\2\\deep.gho", "E:\\backup\\a.Esd", "F:\\cd.sna"};
  EXPECT_EQ(Paths(), expected);
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[5][0], "6");
  // yyyy-MM-dd HH:mm:ss
  ASSERT_EQ(rows[0][2].size(), 19u);
  EXPECT_EQ(rows[0][2][4], '-');
  EXPECT_EQ(rows[0][2][10], ' ');
  EXPECT_EQ(rows[0][2][13], ':');
  EXPECT_FALSE(ui::MainModel().Get(names::kBackupSearchStatus).visible);
}

// The work directory's own images (downloads, the PE, unfinished files,
// copies of the user's files) are no restore points; its "os_bak" backups
// are. Empty removable and CD drives are passed over without a system box.
TEST_F(RestorePoints, WorkDirectoryFilesAndEmptyDrivesAreLeftOut) {
  fake_.PutFile("D:\\MV_OSR\\win10_x64.wim", "x");
  fake_.PutFile("D:\\MV_OSR\\WinPE.wim", "x");
  fake_.PutFile("D:\\MV_OSR\\download\\part.esd", "x");
  fake_.PutFile("D:\\MV_OSR\\bakfile\\桌面\\copy.gho", "x");
  fake_.PutFile("D:\\MV_OSR\\os_bak\\OS_Bak2.WIM", "x");
  fake_.PutFile("D:\\mine.wim", "x");
  fake_.AddDrive('G', kDriveRemovable);
  fake_.SetDriveNotReady('G');
  fake_.AddDrive('H', kDriveCdrom);
  fake_.SetDriveNotReady('H');

  StartBackupSearch();
  ASSERT_TRUE(WaitBackupSearch(10000));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"D:\\mine.wim", "D:\\MV_OSR\\os_bak\\OS_Bak2.WIM"}));
  EXPECT_TRUE(fake_.Dialogs().empty()) << fake_.Dialogs()[0].text;
  // Without the critical-error mode the same look raises the box.
  fake_.ListFolder("G:\\*.wim");
  EXPECT_EQ(fake_.Dialogs().size(), 1u);
}

TEST_F(RestorePoints, NumberingGoesOnAcrossSearchesAndNothingFoundKeepsTheLabel) {
  SearchBackups();
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(ui::MainModel().Get(names::kBackupSearchStatus).visible);
  EXPECT_EQ(ui::MainModel().Text(names::kBackupSearchStatus), kNoBackupText);

  fake_.PutFile("D:\\a.wim", "x");
  StartBackupSearch();
  ASSERT_TRUE(WaitBackupSearch(10000));
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0][0], "1");
  StartBackupSearch();
  ASSERT_TRUE(WaitBackupSearch(10000));
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0][0], "2");
}

TEST_F(RestorePoints, RequestsDuringASearchNeverInterleaveTwoSearches) {
  for (int i = 0; i < 20; ++i) fake_.PutFile("D:\\f" + std::to_string(i) + "\\x.wim", "x");
  for (int i = 0; i < 5; ++i) StartBackupSearch();
  ASSERT_TRUE(WaitBackupSearch(30000));
  // Each search lists every file once: interleaved searches would mix rows.
  EXPECT_EQ(Rows().size(), 20u);
  EXPECT_EQ(RestorePointCounter() % 20, 0);
}

TEST_F(RestorePoints, StartUpHooksPublishFoldersAndSearch) {
  InstallBackupPage();
  fake_.PutFile("D:\\b.gho", "x");
  // The start-up routine runs the hooks; here they are run as it would.
  SetStartupHook(StartupHook::kResizeBrowserPanes, nullptr);
  StartUp(0x99);
  ASSERT_TRUE(WaitBackupSearch(10000));
  EXPECT_EQ(ui::MainModel().Text(names::kBackupFolderLabel), WorkDir() + "os_bak");
  EXPECT_EQ(ui::MainModel().Text(names::kDataFolderLabel), WorkDir() + "bakfile");
  EXPECT_EQ(BackupOwner(), 0x99u);
  EXPECT_EQ(Paths(), std::vector<std::string>{"D:\\b.gho"});
}

// ---- Requests ------------------------------------------------------------------

TEST_F(RestorePoints, BackupNameAndFilePath) {
  LocalTime t;
  t.year = 2019, t.month = 8, t.day = 19, t.hour = 14, t.minute = 5, t.second = 9;
  EXPECT_EQ(DefaultBackupName(t), "备份于 2019年8月19日14时5分9秒");
  t.second = 0;
  EXPECT_EQ(DefaultBackupName(t), "备份于 2019年8月19日14时5分");
  t.minute = 0;
  EXPECT_EQ(DefaultBackupName(t), "备份于 2019年8月19日14时");
  t.hour = 0;
  EXPECT_EQ(DefaultBackupName(t), "备份于 2019年8月19日");
  t.hour = 14, t.minute = 5, t.second = 9;
  fake_.SetLocale24Hour(true);
  EXPECT_EQ(BackupFilePath(t), "D:\\MV_OSR\\os_bak\\OS_Bak20190819140509.WIM");
  fake_.SetLocale24Hour(false);
  EXPECT_EQ(BackupFilePath(t), "D:\\MV_OSR\\os_bak\\OS_Bak20190819020509.WIM");
}

TEST_F(RestorePoints, BackupRequestWritesTaskFourAndReturnsToThePageWhenThePeFails) {
  LocalTime t;
  t.year = 2019, t.month = 8, t.day = 19, t.hour = 14, t.minute = 5, t.second = 9;
  fake_.UseFakeClock(t);
  std::vector<int> busy;
  int pe_calls = 0, page_during_pe = -1;
  BackupLinks links;
  links.set_busy = [&](int b) { busy.push_back(b); };
  links.prepare_pe = [&] {
    ++pe_calls;
    page_during_pe = ui::MainModel().Get(names::kPageHost).page;
  };
  SetBackupLinks(links);
  fake_.QueueTextAnswer("我的备份");
  fake_.QueueAnswer(kResYes);
  RequestSystemBackup();

  auto d = fake_.Dialogs();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_TRUE(d[0].input_box);
  EXPECT_EQ(d[0].text, "请输入 备份名称，备份名称不能重复 不然会导致失败");
  EXPECT_EQ(d[0].caption, "提示");
  EXPECT_EQ(d[0].input, "备份于 2019年8月19日14时5分9秒");
  EXPECT_EQ(d[1].text, "是否对当前系统进行备份，此操作会重启电脑并自动备份。请注意保存资料！！！\r\n备份名称：我的备份");
  EXPECT_EQ(d[1].flags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(d[1].owner, 0x1234u);
  EXPECT_EQ(pe_calls, 1);
  EXPECT_EQ(page_during_pe, names::kPagePeProgress);
  EXPECT_EQ(busy, (std::vector<int>{1, 0}));
  EXPECT_EQ(ui::MainModel().Get(names::kPageHost).page, names::kPageBackup);
  const Text ini = "C:\\WinPE\\DaVidAZ.INI";
  // The backup task: the new file's path (without its drive) and the compression.
  EXPECT_EQ(fake_.IniRead(ini, "SYSTEM", "FilePtah", ""), "\\MV_OSR\\os_bak\\OS_Bak20190819140509.WIM");
  EXPECT_EQ(fake_.IniRead(ini, "SYSTEM", "WimRatio", ""), "--compress=LZX:20");
}

TEST_F(RestorePoints, BackupRequestStopsOnEmptyNameCancelOrNo) {
  int pe_calls = 0;
  BackupLinks links;
  links.prepare_pe = [&] { ++pe_calls; };
  SetBackupLinks(links);
  fake_.QueueTextAnswer("");
  RequestSystemBackup();
  fake_.QueueTextCancel();
  RequestSystemBackup();
  fake_.QueueTextAnswer("x");
  fake_.QueueAnswer(kResNo);
  RequestSystemBackup();
  EXPECT_EQ(pe_calls, 0);
  EXPECT_FALSE(fake_.FileExists("C:\\WinPE\\DaVidAZ.INI"));
  EXPECT_EQ(fake_.Dialogs().size(), 4u);  // three name boxes, one question
}

TEST_F(RestorePoints, DeleteAsksThenRemovesTheFileAndKeepsTheRow) {
  fake_.PutFile("D:\\a.wim", "x");
  fake_.PutFile("D:\\b.gho", "x");
  SearchBackups();
  DeleteRestorePoint();  // nothing selected
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "程序无法继续，请您选择需要删除的还原点");
  EXPECT_EQ(fake_.Dialogs()[0].caption, "错误：");
  EXPECT_EQ(fake_.Dialogs()[0].flags, kMbIconError);

  Select(1);  // D:\a.wim (the .gho comes first)
  fake_.QueueAnswer(kResNo);
  DeleteRestorePoint();
  EXPECT_TRUE(fake_.FileExists("D:\\a.wim"));
  fake_.QueueAnswer(kResYes);
  DeleteRestorePoint();
  EXPECT_EQ(fake_.Dialogs().back().text, "是否删除还原点：D:\\a.wim");
  EXPECT_FALSE(fake_.FileExists("D:\\a.wim"));
  EXPECT_TRUE(fake_.FileExists("D:\\b.gho"));
  EXPECT_EQ(Rows().size(), 2u);
  SearchBackups();
  EXPECT_EQ(Paths(), std::vector<std::string>{"D:\\b.gho"});
}

class Restore : public BackupTest {
 protected:
  void SetUp() override {
    BackupTest::SetUp();
    BackupLinks links;
    links.prepare_pe = [this] { ++pe_calls_; };
    links.show_index_window = [this](WindowRef owner) {
      ++index_windows_;
      index_owner_ = owner;
      EXPECT_EQ(Choice().image_index, 1);
      EXPECT_FALSE(fake_.FileExists("C:\\WinPE\\DaVidAZ.INI"));  // nothing written before the index
      if (cancel_index_) Choice().image_path.clear();
      else Choice().image_index = 2;
    };
    SetBackupLinks(links);
  }
  int pe_calls_ = 0, index_windows_ = 0;
  WindowRef index_owner_ = 0;
  bool cancel_index_ = false;
};

TEST_F(Restore, WimAsksTwiceOpensTheIndexWindowAndWritesTaskThree) {
  fake_.PutFile("D:\\sys.wim", "x");
  SearchBackups();
  Select(0);
  fake_.QueueAnswer(kResYes);
  fake_.QueueAnswer(kResYes);
  RequestRestore();
  auto d = fake_.Dialogs();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].text,
            "是否对当前系统进行还原，此操作会重启电脑并自动还原。会格式化掉系统盘，请注意保存资料！！！\r\n还原点名称：D:\\sys.wim");
  EXPECT_EQ(d[0].caption, "提示");
  EXPECT_EQ(d[1].text, "请再次确认您选择镜像文件： D:\\sys.wim");
  EXPECT_EQ(d[1].caption, "确认还原镜像文件：");
  EXPECT_EQ(index_windows_, 1);
  EXPECT_EQ(index_owner_, 0x1234u);
  EXPECT_EQ(pe_calls_, 1);
  const Text ini = "C:\\WinPE\\DaVidAZ.INI";
  EXPECT_EQ(fake_.IniRead(ini, "SYSTEM", "FilePtah", ""), "\\sys.wim");
  EXPECT_EQ(fake_.IniRead(ini, "SYSTEM", "Index", ""), "2");
  EXPECT_EQ(fake_.IniRead(ini, "SYSTEM", "WimRatio", ""), "");
  EXPECT_EQ(RestorePointPath(), "D:\\sys.wim");
  EXPECT_EQ(ui::MainModel().Get(names::kPageHost).page, names::kPageBackup);
}

TEST_F(Restore, LowerCaseGhoSkipsTheIndexWindow) {
  fake_.PutFile("D:\\x.gho", "x");
  SearchBackups();
  Select(0);
  fake_.QueueAnswer(kResYes);
  fake_.QueueAnswer(kResYes);
  RequestRestore();
  EXPECT_EQ(index_windows_, 0);
  EXPECT_EQ(pe_calls_, 1);
  EXPECT_EQ(fake_.IniRead("C:\\WinPE\\DaVidAZ.INI", "SYSTEM", "Soft", ""), "1");
  EXPECT_EQ(fake_.IniRead("C:\\WinPE\\DaVidAZ.INI", "SYSTEM", "Index", ""), "");
}

TEST_F(Restore, NoOrCancelledIndexWindowWritesNothing) {
  fake_.PutFile("D:\\sys.esd", "x");
  SearchBackups();
  RequestRestore();  // no row: an error box, nothing else
  EXPECT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].flags, kMbIconError);
  Select(0);
  fake_.QueueAnswer(kResNo);
  RequestRestore();
  fake_.QueueAnswer(kResYes);
  fake_.QueueAnswer(kResNo);
  RequestRestore();
  EXPECT_EQ(index_windows_, 0);
  cancel_index_ = true;
  fake_.QueueAnswer(kResYes);
  fake_.QueueAnswer(kResYes);
  RequestRestore();
  EXPECT_EQ(index_windows_, 1);
  EXPECT_EQ(pe_calls_, 0);
  EXPECT_FALSE(fake_.FileExists("C:\\WinPE\\DaVidAZ.INI"));
  EXPECT_EQ(ui::MainModel().Get(names::kPageHost).page, names::kPageBackup);
}

TEST_F(Restore, PageHandlersReachTheRequests) {
  InstallBackupPage();
  fake_.PutFile("D:\\a.wim", "x");
  SearchBackups();
  ASSERT_TRUE(ui::Fire(names::kRestorePointList, "select", "0"));
  fake_.QueueAnswer(kResYes);
  ASSERT_TRUE(ui::Fire(names::kDeleteButton, "click"));
  EXPECT_FALSE(fake_.FileExists("D:\\a.wim"));
  ui::Fire(names::kRestorePointList, "select", "5");  // out of range: none
  ASSERT_TRUE(ui::Fire(names::kRestoreButton, "click"));
  EXPECT_EQ(fake_.Dialogs().back().flags, kMbIconError);
  EXPECT_TRUE(ui::HasHandler(names::kAddBackupButton, "click"));
  EXPECT_TRUE(ui::HasHandler(names::kDataBackupCancel, "click"));
}

}  // namespace
}  // namespace mv
