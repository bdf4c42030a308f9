#include "core/startup.h"

#include <map>
#include <set>

#include "core/log.h"
#include "core/payload.h"
#include "core/service_host.h"
#include "core/state.h"
#include "core/text.h"
#include "core/window_names.h"
#include "ui/model.h"

namespace mv {

const char kCaptionText[] = "Marvolt系统云重装 - Marvolt System Cloud Reinstall";
const char kVersionText[] = "OSR1.1.19.819";
const char kNoDriveMessage[] =
    "程序运行出错，计算机上没有符合程序运行的要求。\r\n没有多余可写的硬盘分区用于存储临时文件";
const char kNoticeFileName[] = "此目录为重要文件请勿删除.txt";
const char kNoticeText[] =
    "Marvolt系统云重装提醒您：此目录存放系统备份还原所需重要标识文件(包括本文件)，请勿删除，谢谢。";

namespace {

std::map<StartupHook, std::function<void(WindowRef)>>& Hooks() {
  static std::map<StartupHook, std::function<void(WindowRef)>> hooks;
  return hooks;
}

void RunHook(StartupHook which, WindowRef main_window) {
  auto it = Hooks().find(which);
  if (it != Hooks().end() && it->second) it->second(main_window);
}

constexpr uint32_t kAttrReparsePoint = 0x400;

bool FixedWithFreeSpace(char letter) {
  const Text root = Text(1, letter) + ":\\";
  return plat().DriveType(root) == kDriveFixed && plat().FreeSpaceKb(root) != -1;
}

// Removes the files and folders below a folder (the folder itself stays).
// Depth-limited so that a folder loop cannot keep it going.
void EmptyFolder(const Text& folder, int depth) {
  if (depth > 16) return;
  for (const DirEntry& e : plat().ListFolder(folder + "*")) {
    if (e.name == "." || e.name == "..") continue;
    const Text path = folder + e.name;
    if (e.is_directory) {
      // A linked folder (junction) points somewhere else: never follow it.
      const uint32_t attributes = plat().GetAttributes(path);
      if (attributes != kAttrInvalid && (attributes & kAttrReparsePoint)) continue;
      EmptyFolder(path + "\\", depth + 1);
      plat().RemoveFolder(path);
    } else {
      plat().SetAttributes(path, 0);  // read-only or hidden entries go too
      plat().RemoveFile(path);
    }
  }
}

}  // namespace

void SetStartupHook(StartupHook which, std::function<void(WindowRef)> hook) { Hooks()[which] = std::move(hook); }

void ClearStartupHooks() { Hooks().clear(); }

Text ChooseWorkDirectory() {
  SetWorkDir(Text());
  if (FixedWithFreeSpace('D')) {
    SetWorkDir("D:\\MV_OSR\\");
    return WorkDir();
  }
  Text fixed;
  for (char c = 'A'; c <= 'Z'; ++c)
    if (plat().DriveType(Text(1, c) + ":") == kDriveFixed) fixed.push_back(c);
  for (auto it = fixed.rbegin(); it != fixed.rend(); ++it) {
    if (FixedWithFreeSpace(*it)) {
      SetWorkDir(Text(1, *it) + ":\\MV_OSR\\");
      break;
    }
  }
  return WorkDir();
}

Text SiteDomain(const Text& url) {
  Text host = url;
  const Text head = UpperAscii(url.substr(0, 8));
  if (head.compare(0, 7, "HTTP://") == 0)
    host = url.substr(7);
  else if (head.compare(0, 8, "HTTPS://") == 0)
    host = url.substr(8);
  host = host.substr(0, host.find('/'));
  host = host.substr(0, host.find(':'));
  const size_t last = host.rfind('.');
  if (last == Text::npos || last == 0) return host;
  const size_t second = host.rfind('.', last - 1);
  return second == Text::npos ? host : host.substr(second + 1);
}

void ClearSiteCookies(const Text& url) {
  const Text a = "deleted; expires=Fri, 1-Jan-1999 1:1:1 GMT; path=/;";
  const Text b = a + " domain=" + SiteDomain(url);

  // The plain list and the one with HTTP-only cookies overlap: each name once.
  std::vector<Text> names;
  std::set<Text> seen;
  for (const Text& list : {plat().GetCookies(url, 0), plat().GetCookies(url, 8192)}) {
    for (const Text& item : SplitText(list, ";")) {
      const size_t eq = item.find('=');
      const Text name = TrimText(item.substr(0, eq));
      const Text value = eq == Text::npos ? Text() : TrimText(item.substr(eq + 1));
      if (name.empty() || value == "deleted") continue;
      if (seen.insert(name).second) names.push_back(name);
    }
  }
  for (const Text& name : names) {
    plat().SetCookie(url, name, a);
    plat().SetCookie(url, name, b);
  }
}

void ClearBrowserCache() {
  plat().ClearUrlCache();
  // Only a real folder below a drive root is emptied: an unknown cache folder
  // must never turn into the current folder or a whole drive.
  const Text cache = SpecialFolder(12);
  if (cache.size() > 3 && cache[1] == ':' && cache[2] == '\\') EmptyFolder(cache, 0);
}

void StartUp(WindowRef main_window) {
  SetPeTaskFilePath(SystemDrive() + "\\WinPE\\DaVidAZ.INI");

  ui::MainModel().SetText(names::kTitleLabel, kCaptionText);
  ui::MainModel().SetText(names::kVersionLabel, kVersionText);

  ClearSiteCookies(service::MakerHomePage());
  ClearBrowserCache();

  RunHook(StartupHook::kResizeBrowserPanes, main_window);
  RunHook(StartupHook::kAttachShadow, main_window);
  RunHook(StartupHook::kShowFirstPage, main_window);

  const Text wd = ChooseWorkDirectory();
  if (wd.empty()) {
    plat().ShowMessageBox(kNoDriveMessage, kMbIconError, "错误", main_window);
    plat().EndProcess(1);
    return;
  }
  RunHook(StartupHook::kPublishBackupFolders, main_window);

  const Text wd_folder = wd.substr(0, wd.size() - 1);  // without the final "\"
  plat().CreateFolder(wd_folder);
  plat().CreateFolder(wd + "tools");
  plat().CreateFolder(wd + "bakfile");
  plat().CreateFolder(wd + "os_bak");
  plat().SetAttributes(wd + "tools", kAttrHidden);

  const Text notice = kNoticeText;
  plat().WriteWholeFile(wd + kNoticeFileName, {Bytes(notice.begin(), notice.end())});

  OpenLog();
  Log(LogTimestampNow() + " main_sub");

  WriteToolFiles(1, 0);

  RunHook(StartupHook::kInstallBrowserHook, main_window);
  RunHook(StartupHook::kStartBackupSearch, main_window);
}

}  // namespace mv
