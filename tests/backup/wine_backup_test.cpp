// The backup part through the Win32 adapter under Wine, in a prefix of its
// own: C: the system drive, D: and E: fixed drives on fresh folders, F: a
// CD-ROM. Real folders, real files with names outside GBK and paths past 260
// characters, the real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "backup/data_backup.h"
#include "backup/requests.h"
#include "backup/restore_points.h"
#include "core/job.h"
#include "core/log.h"
#include "core/state.h"
#include "platform/win32/win32_platform.h"
#include "support/registry.h"
#include "tests/support/file_tree.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

// The adapter with scripted answers for the message boxes (a real box would
// wait for a person).
class ScriptedWin32 : public Win32Platform {
 public:
  int ShowMessageBox(const Text& text, uint32_t, const Text&, WindowRef) override {
    boxes.push_back(text);
    return answer;
  }
  std::vector<Text> boxes;
  int answer = kResYes;
};

std::wstring Long(const std::u16string& p) { return L"\\\\?\\" + std::wstring(p.begin(), p.end()); }

bool PutWide(const std::u16string& path, const std::string& content) {
  HANDLE h = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr) && put == content.size();
  return ::CloseHandle(h) && ok;
}

std::string GetWide(const std::u16string& path) {
  HANDLE h = ::CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  ::CloseHandle(h);
  return out;
}

// Removes a folder of the test's own drives or of its documents folder only:
// a new prefix links the user's folders to the Linux home, which must never
// be touched (wine-setup.sh gives the documents folder a marker file).
bool Ours(const std::u16string& path) {
  if (path.size() >= 4 && (path.compare(0, 3, u"D:\\") == 0 || path.compare(0, 3, u"E:\\") == 0)) return true;
  const std::u16string docs = plat().ShellFolderWide(5);
  return !docs.empty() && path.compare(0, docs.size() + 1, docs + u"\\") == 0 &&
         ::GetFileAttributesW(Long(docs + u"\\mv-test-docs.marker").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::u16string& path) {
  if (!Ours(path)) {
    ADD_FAILURE() << "refusing to remove a folder that is not the test's";
    return;
  }
  std::vector<WideEntry> entries;
  if (!plat().ListFolderWide(path, entries)) return;
  for (const WideEntry& e : entries) {
    std::u16string child = path + u"\\" + e.name;
    // A link goes by itself: what it leads to is not the tree's.
    if (e.is_link) {
      ::RemoveDirectoryW(Long(child).c_str()) || ::DeleteFileW(Long(child).c_str());
      continue;
    }
    ::SetFileAttributesW(Long(child).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (e.is_directory) RemoveTree(child);
    else ::DeleteFileW(Long(child).c_str());
  }
  ::RemoveDirectoryW(Long(path).c_str());
}

std::string Content(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 13 + (i >> 10));
  return s;
}

class WineBackup : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&win_);
    ResetProcessState();
    RemoveTree(u"D:\\MV_OSR");
    RemoveTree(u"D:\\store");
    ASSERT_TRUE(win_.CreateFolderWide(u"D:\\MV_OSR"));
    SetWorkDir("D:\\MV_OSR\\");
    OpenLog();
    SetBackupLinks(BackupLinks());
    ui::MainModel().SetWidth(names::kDataBackupBar1, 309);
    for (const char* item : names::kDataItems) ui::MainModel().SetChecked(item, false);
    // The documents folder must be the test's own (wine-setup.sh): emptied
    // here, all but its marker.
    docs_ = win_.ShellFolderWide(5);
    ASSERT_FALSE(docs_.empty());
    ASSERT_NE(::GetFileAttributesW(Long(docs_ + u"\\mv-test-docs.marker").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the documents folder is not the test's own";
    std::vector<WideEntry> entries;
    ASSERT_TRUE(win_.ListFolderWide(docs_, entries));
    for (const WideEntry& e : entries) {
      if (e.name == u"mv-test-docs.marker") continue;
      if (e.is_directory) RemoveTree(docs_ + u"\\" + e.name);
      else ::DeleteFileW(Long(docs_ + u"\\" + e.name).c_str());
    }
  }
  void TearDown() override {
    WaitDataBackup(~0u);
    ResetJob();
    WaitBackupSearch(~0u);
    CloseLog();
    SetPlatform(nullptr);
  }

  test::FileTreeMap Tree(const std::u16string& folder) { return test::FileTree(win_, folder, GetWide); }

  ScriptedWin32 win_;
  std::u16string docs_;
  const std::u16string bak_ = u"D:\\MV_OSR\\bakfile\\\u6211\u7684\u6587\u6863";
};

TEST_F(WineBackup, RestorePointsOnRealDrives) {
  RemoveTree(u"E:\\1");
  RemoveTree(u"D:\\$RECYCLE.BIN");
  ASSERT_TRUE(win_.WriteWholeFile("C:\\sys.wim", {}));
  ASSERT_TRUE(win_.WriteWholeFile("D:\\x.wim", {Bytes{1}}));
  ASSERT_TRUE(win_.WriteWholeFile("D:\\x.gho", {Bytes{1}}));
  win_.CreateFolder("D:\\$RECYCLE.BIN");
  win_.CreateFolder("D:\\$RECYCLE.BIN\\S-1-5-21");
  ASSERT_TRUE(win_.WriteWholeFile("D:\\$RECYCLE.BIN\\S-1-5-21\\y.wim", {Bytes{1}}));
  for (const char* f : {"E:\\1", "E:\\1\\2", "E:\\1\\2\\3"}) win_.CreateFolder(f);
  ASSERT_TRUE(win_.WriteWholeFile("E:\\1\\2\\deep.GHO", {Bytes{1}}));
  ASSERT_TRUE(win_.WriteWholeFile("E:\\1\\2\\3\\deeper.gho", {Bytes{1}}));
  ResetRestorePointCounter();

  StartBackupSearch();
  ASSERT_TRUE(WaitBackupSearch(60000));
  auto rows = ui::MainModel().Rows(names::kRestorePointList);
  std::vector<std::string> paths;
  for (const auto& r : rows) paths.push_back(r[1]);
  EXPECT_EQ(paths, (std::vector<std::string>{"D:\\x.gho", "D:\\x.wim", "E:\\1\\2\\deep.GHO"}));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], "1");
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char year[8];
  std::snprintf(year, sizeof year, "%04d-", now.wYear);
  EXPECT_EQ(rows[0][2].substr(0, 5), year);
  EXPECT_EQ(rows[0][2].size(), 19u);
  EXPECT_FALSE(ui::MainModel().Get(names::kBackupSearchStatus).visible);

  // Delete after the question; the row stays until the next search, whose numbering goes on.
  ui::MainModel().Update(names::kRestorePointList, [](ui::Component& c) { c.value = 1; });
  DeleteRestorePoint();
  EXPECT_FALSE(win_.FileExists("D:\\x.wim"));
  EXPECT_EQ(ui::MainModel().Rows(names::kRestorePointList).size(), 3u);
  StartBackupSearch();
  ASSERT_TRUE(WaitBackupSearch(60000));
  rows = ui::MainModel().Rows(names::kRestorePointList);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "4");
  EXPECT_EQ(rows[1][1], "E:\\1\\2\\deep.GHO");
  win_.RemoveFile("C:\\sys.wim");
}

TEST_F(WineBackup, DocumentsWithNamesOutsideGbkAndLongPathsArriveWhole) {
  std::u16string deep = docs_;
  for (int i = 0; deep.size() <= 300; ++i) {
    deep += u"\\\u6df1\u5c42\u6587\u4ef6\u5939abcdefghijklmnopqrstuvwxyz0123456789" + std::u16string(1, u'0' + i);
    ASSERT_TRUE(win_.CreateFolderWide(deep));
  }
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(win_.CreateFolderWide(docs_ + u"\\\u65e5\u672c\u8a9e"));
  ASSERT_TRUE(win_.CreateFolderWide(docs_ + u"\\empty"));
  ASSERT_TRUE(win_.CreateFolderWide(docs_ + u"\\.hidden"));
  ASSERT_TRUE(PutWide(docs_ + u"\\\u4e2d\u6587\u62a5\u544a.txt", Content(5000, 1)));
  ASSERT_TRUE(PutWide(docs_ + u"\\\u30c6\u30b9\u30c8.doc", Content(200000, 2)));
  ASSERT_TRUE(PutWide(docs_ + u"\\smile \U0001F600.png", Content(3, 3)));
  ASSERT_TRUE(PutWide(docs_ + u"\\\u65e5\u672c\u8a9e\\\u30d5\u30a1\u30a4\u30eb.txt", ""));
  ASSERT_TRUE(PutWide(deep + u"\\long.bin", Content(123457, 4)));
  ASSERT_TRUE(PutWide(docs_ + u"\\.hidden\\secret.txt", "s"));
  ui::MainModel().SetChecked(names::kDataItems[0], true);
  ui::MainModel().SetSelected(names::kDataBackupButton, true);

  ASSERT_NE(StartDataBackup(), kNoHandle);
  ASSERT_TRUE(WaitDataBackup(120000));
  ui::Fire(kJobTimer, "timer");  // the job's end, on this (the window's) thread

  auto want = Tree(docs_);
  want.erase(u".hidden\\");
  want.erase(u".hidden\\secret.txt");
  EXPECT_EQ(Tree(bak_), want);
  ASSERT_EQ(win_.boxes.size(), 1u);
  EXPECT_EQ(win_.boxes[0], "资料备份完成！\r\n共备份 6 个文件。");  // with the marker
}

// On the real file system: a folder that holds the work directory and a
// symbolic link back up its own tree are copied once, the work directory and
// the link left out.
TEST_F(WineBackup, TheCopyLeavesOutTheWorkDirectoryAndLinks) {
  typedef BOOLEAN(WINAPI * MakeLink)(LPCWSTR, LPCWSTR, DWORD);
  MakeLink make_link = reinterpret_cast<MakeLink>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
  ASSERT_NE(make_link, nullptr);
  ASSERT_TRUE(win_.CreateFolderWide(u"D:\\store"));
  ASSERT_TRUE(win_.CreateFolderWide(u"D:\\store\\sub"));
  ASSERT_TRUE(PutWide(u"D:\\store\\a.txt", "a"));
  ASSERT_TRUE(PutWide(u"D:\\store\\sub\\b.txt", "b"));
  ASSERT_TRUE(make_link(L"D:\\store\\sub\\loop", L"D:\\store", 1));  // a directory link
  ASSERT_TRUE(win_.CreateFolderWide(u"D:\\store\\MV_OSR"));
  ASSERT_TRUE(win_.CreateFolderWide(u"D:\\store\\MV_OSR\\bakfile"));
  ASSERT_TRUE(PutWide(u"D:\\store\\MV_OSR\\win10.wim", "image"));
  SetWorkDir("D:\\store\\MV_OSR\\");

  CopyTally tally;
  ASSERT_TRUE(CopyFolderTree(u"D:\\store", u"D:\\store\\MV_OSR\\bakfile\\docs", tally));
  EXPECT_EQ(Tree(u"D:\\store\\MV_OSR\\bakfile\\docs"),
            (std::map<std::u16string, std::string>{{u"a.txt", "a"}, {u"sub\\", "<dir>"}, {u"sub\\b.txt", "b"}}));
  EXPECT_EQ(tally.copied, 2);
  EXPECT_EQ(tally.failed, 0);
  SetWorkDir("D:\\MV_OSR\\");
  RemoveTree(u"D:\\store");
}

TEST_F(WineBackup, CancelLeavesNoPartialFile) {
  const int kFiles = 16;
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(PutWide(docs_ + u"\\big" + std::u16string(1, u'A' + i) + u".bin", Content(4 << 20, i)));
  }
  ui::MainModel().SetChecked(names::kDataItems[0], true);
  Handle h = StartDataBackup();
  ASSERT_NE(h, kNoHandle);
  for (int i = 0; i < 10000 && Tree(bak_).empty(); ++i) ::Sleep(1);
  win_.PauseThread(h);
  CancelDataBackup();
  ASSERT_TRUE(WaitDataBackup(60000));
  auto copied = Tree(bak_);
  EXPECT_LT(copied.size(), static_cast<size_t>(kFiles) + 1);
  for (const auto& kv : copied) EXPECT_EQ(kv.second, GetWide(docs_ + u"\\" + kv.first)) << "partial file";
  EXPECT_EQ(win_.boxes.at(0), "程序正在备份资料，是否取消！");
}

// ---- Registry and drivers --------------------------------------------------------

const Text kClassRoot = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\";

TEST_F(WineBackup, RegistryClassOnTheRealRegistry) {
  Registry r;
  const Text k = "HKEY_CURRENT_USER\\Software\\MarvoltBackupTest";
  r.DeleteKey(k);
  std::vector<Text> subs;
  EXPECT_EQ(r.EnumSubKeys(k, subs), -1);
  EXPECT_EQ(r.OpenKey("hkey_current_user\\Software", false), 0u);
  ASSERT_TRUE(r.WriteText(k + "\\A\\B", "s", "文本"));
  ASSERT_TRUE(r.WriteNumber(k + "\\A", "n", 0x00414243));
  ASSERT_TRUE(r.WriteMultiText(k + "\\A", "m", {"一", "two"}));
  ASSERT_TRUE(r.WriteExpandText(k + "\\A", "e", "%WINDIR%"));
  ASSERT_TRUE(r.WriteBinary(k + "\\A", "b", Bytes{0, 1, 2}));
  ASSERT_TRUE(r.WriteValueByRoot(3, "Software\\MarvoltBackupTest\\C", "v", Bytes{'o', 'k', 0}, 0, false));
  EXPECT_EQ(r.ReadText(k + "\\A\\B", "s"), "文本");
  EXPECT_EQ(r.ReadText(k + "\\A", "n"), "CBA");
  EXPECT_EQ(r.ReadNumber(k + "\\A", "n"), 0x00414243u);
  EXPECT_EQ(r.ReadMultiText(k + "\\A", "m"), (std::vector<Text>{"一", "two"}));
  EXPECT_EQ(r.ReadExpandText(k + "\\A", "e"), "%WINDIR%");
  EXPECT_EQ(r.ReadBinary(k + "\\A", "b"), (Bytes{0, 1, 2}));
  EXPECT_EQ(r.ReadText(k + "\\C", "v"), "ok");
  EXPECT_EQ(r.DescribeValueType(k + "\\A", "m"), "REG_MULTI_SZ - 多字符串值，值为：");
  EXPECT_EQ(r.DescribeValueType(k + "\\A", "n"), "REG_DWORD - DWORD，值为：");
  EXPECT_TRUE(r.Exists(k + "\\A", "b", true));
  EXPECT_FALSE(r.Exists(k + "\\A", "zz", true));
  EXPECT_TRUE(r.FlushKey(k));
  EXPECT_EQ(r.EnumSubKeys(k + "\\A\\B", subs), 0);
  EXPECT_EQ(r.EnumSubKeys(k, subs), 2);
  EXPECT_TRUE(r.DeleteKey(k));
  EXPECT_EQ(r.OpenKey(k, false), 0u);
}

TEST_F(WineBackup, DriversOfTheRealClassKeysFromADriverStore) {
  Registry r;
  const Text a = kClassRoot + "{MV-TEST-A}", b = kClassRoot + "{MV-TEST-B}";
  r.DeleteKey(a);
  r.DeleteKey(b);
  r.WriteText(a, "Class", "MvTestA");
  r.WriteText(a + "\\0000", "DriverDesc", "MV Test Inbox Device");
  r.WriteText(a + "\\0000", "ProviderName", "Microsoft");
  r.WriteText(a + "\\0000", "InfPath", "machine.inf");
  r.WriteText(b, "Class", "MvTestB");
  r.WriteText(b + "\\0000", "DriverDesc", "MV Test Vendor Device");
  r.WriteText(b + "\\0000", "ProviderName", "Microsoft Corporation");
  r.WriteText(b + "\\0000", "DriverVersion", "10.0.1");
  r.WriteText(b + "\\0000", "InfPath", "oemmv.inf");
  r.WriteText(b + "\\0000", "InfSection", "MvInstall");

  // The 64-bit system folders, as the backup sees them with redirection off.
  void* cookie = win_.HasWow64Directory() ? win_.DisableFsRedirection() : nullptr;
  const Text win = win_.WindowsDirectory(), sys = win_.SystemDirectory();
  const std::string inf = "[Version]\r\nCatalogFile=mvtest.cat\r\n";
  win_.WriteWholeFile(win + "\\inf\\oemmv.inf", {Bytes(inf.begin(), inf.end())});
  const Text store = sys + "\\DriverStore\\FileRepository";
  win_.CreateFolder(sys + "\\DriverStore");
  win_.CreateFolder(store);
  win_.CreateFolder(store + "\\mvtest.inf_x86_1");
  win_.CreateFolder(store + "\\mvtest.inf_x86_1\\sub");
  win_.WriteWholeFile(store + "\\mvtest.inf_x86_1\\mvtest.sys", {Bytes{'s', 'y', 's'}});
  win_.WriteWholeFile(store + "\\mvtest.inf_x86_1\\sub\\mvtest.dll", {Bytes{'d', 'l', 'l'}});
  if (cookie) win_.RevertFsRedirection(cookie);

  auto list = ListDrivers();
  std::set<Text> descs;
  for (const auto& d : list) descs.insert(d.description);
  EXPECT_EQ(descs.count("MV Test Vendor Device"), 1u);
  EXPECT_EQ(descs.count("MV Test Inbox Device"), 0u);

  CopyTally tally;
  ASSERT_TRUE(BackUpDriversAs(9, tally));
  Bytes got;
  EXPECT_TRUE(win_.ReadWholeFile("D:\\MV_OSR\\bakfile\\DriverBak\\MV Test Vendor Device\\mvtest.sys", got));
  EXPECT_EQ(std::string(got.begin(), got.end()), "sys");
  EXPECT_TRUE(win_.ReadWholeFile("D:\\MV_OSR\\bakfile\\DriverBak\\MV Test Vendor Device\\sub\\mvtest.dll", got));
  EXPECT_FALSE(win_.FileExists("D:\\MV_OSR\\bakfile\\DriverBak\\MV Test Inbox Device"));
  r.DeleteKey(a);
  r.DeleteKey(b);
}

}  // namespace
}  // namespace mv
