#include "boot/handoff_check.h"

#include "boot/boot_entries.h"
#include "boot/boot_tools.h"
#include "core/log.h"

namespace mv {
namespace {

bool g_refused = false;  // window thread only

Text Joined(const std::vector<Text>& files) {
  Text out;
  for (const Text& f : files) out += (out.empty() ? "" : "、") + f;
  return out;
}

}  // namespace

Text StandInRefusalText(const std::vector<Text>& files) {
  return "无法添加PE启动项：启动文件（" + Joined(files) +
         "）是测试用的替代文件，不是Windows的正式文件，用它无法进入PE系统。\r\n"
         "为保证电脑能正常启动，本次没有修改启动配置，也不会重启电脑，请到官网下载完整版本后再试。";
}

std::vector<Text> StandInBootFiles() {
  std::vector<Text> out;
  if (!IsNt5() && FindBcdedit().stand_in) out.push_back("bcdedit.exe");  // XP/2003 do not run it
  if (FindBootSdi().stand_in) out.push_back("boot.sdi");
  return out;
}

bool BootHandOffAllowed() {
  g_refused = false;
  if (plat().RunningUnderWine()) return true;
  const std::vector<Text> files = StandInBootFiles();
  if (files.empty()) return true;
  g_refused = true;
  Log("bcdedit_sub: 启动文件为测试用替代文件（" + Joined(files) + "），未修改启动配置，不重启");
  plat().ShowMessageBox(StandInRefusalText(files), kMbIconError, "错误：", plat().FirstVisibleOwnWindow());
  return false;
}

bool HandOffRefused() { return g_refused; }
void ResetHandOffRefusal() { g_refused = false; }

}  // namespace mv
