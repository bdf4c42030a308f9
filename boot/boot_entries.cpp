#include "boot/boot_entries.h"

#include "boot/attrib.h"
#include "boot/bcd_output.h"
#include "boot/boot_tools.h"
#include "boot/handoff_check.h"
#include "boot/pe_task.h"
#include "core/log.h"
#include "core/payload.h"
#include "core/text.h"

namespace mv {

const char kBootEntryCaption[] = "Win10PE By Marvolt OSR";

namespace {

const char kRecordSection[] = "system";
const char kNoRestartTail[] = "\r\n为保证电脑能正常启动，本次没有修改启动配置，也不会重启电脑。";

// Why the restart does not happen, in a box over the main window.
void Refuse(const Text& log_line, const Text& reason) {
  Log("bcdedit_sub: " + log_line);
  plat().ShowMessageBox("无法添加PE启动项：" + reason, kMbIconError, "错误：", plat().FirstVisibleOwnWindow());
}

// One run of the boot configuration editor whose exit code is checked.
struct Step {
  bool ok;
  Text output;
};
Step RunChecked(const Text& arguments, Text& failed) {
  const CommandResult r = RunBcdedit(arguments);
  if (r.exit_code != 0 && failed.empty())
    failed = "bcdedit " + (arguments.empty() ? Text("（列出启动项）") : arguments) + "，返回值 " +
             std::to_string(r.exit_code);
  return Step{r.exit_code == 0, r.output};
}

// The PE and the RAM-disk image must be where the entries will point.
bool FilesInPlace() {
  const Text boot_wim = SystemDrive() + "WinPE\\boot.wim";
  if (plat().FileSize(boot_wim) <= 0) {
    Refuse("PE镜像不存在：" + boot_wim, "系统盘上没有PE镜像（" + boot_wim + "）。" + kNoRestartTail);
    return false;
  }
  if (!PlaceBootSdi()) {
    Refuse("没有可用的boot.sdi",
           "没有找到可用的启动镜像 boot.sdi（程序没有携带，系统的 Boot 文件夹中也没有）。" + Text(kNoRestartTail));
    return false;
  }
  return true;
}

// NT6 and later: a RAM-disk options entry and a PE loader entry in the system
// store, the loader last in the display order and made the default.
//
// Every command's exit code is checked. On any failure the entries this run
// made are deleted again; the boot manager's default is set last, so that it
// and the display order stay as they were, and the machine starts as before
// instead of into a loader without a device.
bool PrepareNt6() {
  const Text record = BootRecordFile();
  const Text task_file = PeTaskFile();
  const Text caption = kBootEntryCaption;
  if (FindBcdedit().path.empty()) {
    Refuse("没有找到bcdedit.exe", "没有找到启动配置工具 bcdedit.exe。" + Text(kNoRestartTail));
    return false;
  }

  // The previous run's entries: a stale or empty id simply fails.
  RunBcdedit("/delete " + plat().IniRead(record, kRecordSection, "UID", ""));
  const Text old_options = plat().IniRead(record, kRecordSection, "REID", "");
  if (old_options != "{}") RunBcdedit("/delete " + old_options);

  Text failed;
  std::vector<Text> made;
  auto create = [&](const Text& arguments) {
    const Step step = RunChecked(arguments, failed);
    const Text id = CreatedEntryId(step.output);
    if (step.ok && id != "{}") made.push_back(id);
    else if (failed.empty()) failed = "bcdedit " + arguments + "，输出中没有新启动项的标识";
    return step.ok && id != "{}" ? id : Text("{}");
  };
  auto set = [&](const Text& arguments) { return failed.empty() && RunChecked(arguments, failed).ok; };

  Text ramdisk = create("/create /d \"" + caption + "\" /device");
  Text loader = "{}";
  if (failed.empty()) {
    set("/set " + ramdisk + " ramdisksdidevice partition=%systemdrive%");
    set("/set " + ramdisk + " ramdisksdipath \\boot\\boot.sdi");
  }
  if (failed.empty()) loader = create("/create /d \"" + caption + "\" /application osloader");
  if (failed.empty()) {
    set("/set " + loader + " device ramdisk=[%systemdrive%]\\WinPE\\boot.wim," + ramdisk);
    set("/set " + loader + " osdevice ramdisk=[%systemdrive%]\\WinPE\\boot.wim," + ramdisk);
  }
  if (failed.empty()) {
    const Step listing = RunChecked(Text(), failed);
    const bool efi = listing.ok && ListingShowsEfiManager(listing.output);
    set("/set " + loader + " path \\windows\\system32\\boot\\" + (efi ? "winload.efi" : "winload.exe"));
  }
  set("/set " + loader + " systemroot \\windows");
  set("/set " + loader + " detecthal yes");
  set("/set " + loader + " winpe yes");
  set("/displayorder " + loader + " /addlast");
  set("/timeout 30");
  set("/default " + loader);

  if (!failed.empty()) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) RunBcdedit("/delete " + *it);
    ramdisk = loader = "{}";
    Refuse("命令失败（" + failed + "），已删除本次创建的启动项，启动配置保持原样",
           "启动配置工具执行失败（" + failed +
               "）。\r\n为保证电脑能正常启动，已删除本次添加的启动项，默认启动项和启动菜单保持原样，电脑不会重启。");
  }

  plat().IniWrite(record, kRecordSection, "UID", loader);
  plat().IniWrite(task_file, kRecordSection, "UID", loader);
  plat().IniWrite(task_file, kRecordSection, "REID", ramdisk);
  plat().IniWrite(record, kRecordSection, "REID", ramdisk);
  return failed.empty();
}

struct ChainFile {
  int id;
  const char* path;  // on the system drive
};
const ChainFile kChain[] = {
    {kPayloadChainBcf, "\\boot\\BCF"},
    {kPayloadChainBootqii, "\\bootqii"},
    {kPayloadChainQzload, "\\qzload.pbr"},
};

// NT5 (XP/2003): boot.ini gets an entry that chains through the program's own
// boot record and boot manager to a prepared store.
//
// The chain files must be real ones: boot.ini is made to point at them, and
// the stand-ins a build carries without a deployer's files boot nothing. So
// the files are checked, and written, before boot.ini is touched at all; when
// that fails boot.ini stays as it was and the user is told.
bool PrepareNt5() {
  const Text x = SystemDrive().substr(0, 2);
  const Text boot_ini = x + "\\boot.ini";
  const Text entry = x + "\\qzload.pbr";

  Bytes chain[3];
  for (int i = 0; i < 3; ++i) {
    if (!CurrentPayload().Read(kChain[i].id, chain[i]) || !UsableChainFile(kChain[i].id, chain[i])) {
      Log("bcdedit_sub: 缺少可用的NT5启动文件，未修改boot.ini");
      plat().ShowMessageBox(
          "无法为本系统添加PE启动项：程序没有带上可用的启动文件（BCF、bootqii、qzload.pbr）。\r\n"
          "为保证电脑能正常启动，本次没有修改boot.ini，请到官网下载完整版本后再试。",
          kMbIconError, "错误：", 0);
      return false;
    }
  }

  for (const char* f : {"\\boot\\BCF", "\\bootqii", "\\qzload.pbr", "\\boot.ini"}) RunAttrib("-s -r -h", x + f);
  plat().CreateFolder(x + "\\boot");
  // boot.bak is the only copy of the machine's own boot.ini: a later run,
  // which finds the PE entry already the default, must not overwrite it.
  const bool ours = plat().IniRead(boot_ini, "boot loader", "default", "") == entry;
  if (!ours || !plat().FileExists(x + "\\boot\\boot.bak")) plat().CopyFileOver(boot_ini, x + "\\boot\\boot.bak");

  for (int i = 0; i < 3; ++i) {
    if (!plat().WriteWholeFile(x + kChain[i].path, {chain[i]})) {
      Log(Text("bcdedit_sub: 写入") + kChain[i].path + "失败，未修改boot.ini");
      RunAttrib("+s +r +h", boot_ini);
      return false;
    }
  }

  plat().IniWrite(boot_ini, "boot loader", "default", entry);
  plat().IniWrite(boot_ini, "boot loader", "timeout", "30");
  plat().IniWrite(boot_ini, "operating systems", entry, kBootEntryCaption);
  plat().IniWrite(BootRecordFile(), kRecordSection, "UID", entry + "=" + kBootEntryCaption);
  for (const char* f : {"\\boot.ini", "\\boot\\BCF", "\\bootqii", "\\boot", "\\qzload.pbr"})
    RunAttrib("+s +r +h", x + f);
  return true;
}

bool StartsWith(const Bytes& b, const char* s) {
  const size_t n = std::char_traits<char>::length(s);
  return b.size() >= n && std::equal(s, s + n, b.begin(), [](char c, uint8_t u) { return static_cast<uint8_t>(c) == u; });
}

}  // namespace

Text BootRecordFile() { return plat().WindowsDirectory() + "\\ZaRuzoVev.ini"; }

int DetectEfiBoot() {
  const CommandResult listing = RunBcdedit(Text());
  return listing.exit_code == 0 && ListingShowsEfiManager(listing.output) ? 1 : 0;
}

bool UsableChainFile(int payload_id, const Bytes& bytes) {
  if (IsStandIn(bytes)) return false;
  switch (payload_id) {
    case kPayloadChainBcf:  // a registry hive
      return bytes.size() >= 4096 && StartsWith(bytes, "regf");
    case kPayloadChainQzload:  // a partition boot record: boot signature at the end of its first sector
      return bytes.size() >= 512 && bytes[510] == 0x55 && bytes[511] == 0xAA;
    case kPayloadChainBootqii:  // a boot manager image: at least a few sectors of code
      return bytes.size() >= 4096;
    default:
      return false;
  }
}

bool PrepareBootEntries() {
  Log("bcdedit_sub");
  if (!BootHandOffAllowed()) return false;
  if (!FilesInPlace()) return false;
  if (IsNt5()) return PrepareNt5();
  return PrepareNt6();
}

bool IsNt5() {
  const Text version = plat().FileVersionText(plat().WindowsDirectory() + "\\regedit.exe");
  return !version.empty() && version[0] == '5';
}

}  // namespace mv
