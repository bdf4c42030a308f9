#include "boot/boot_entries.h"

#include "boot/attrib.h"
#include "boot/handoff_check.h"
#include "boot/pe_task.h"
#include "core/log.h"
#include "core/payload.h"
#include "core/state.h"
#include "core/text.h"

namespace mv {

const char kBootEntryCaption[] = "Win10PE By Marvolt OSR";

namespace {

const char kRecordSection[] = "system";

Text Bcdedit() { return BcdeditPath().empty() ? WorkDir() + "tools\\bcdedit.exe" : BcdeditPath(); }

Text Run(const Text& command_line) { return plat().RunHidden(command_line); }

// NT6 and later: a RAM-disk options entry and a PE loader entry in the system
// store, the loader made the default, last in the display order.
//
// A create that yields no id leaves nothing to point the boot manager at: the
// entries that were made are removed again and neither the default nor the
// display order is touched, so the machine starts as before instead of into a
// loader without a device.
bool PrepareNt6() {
  const Text bcd = Bcdedit();
  const Text record = BootRecordFile();
  const Text task_file = PeTaskFile();
  const Text caption = kBootEntryCaption;

  Run(bcd + " /delete " + plat().IniRead(record, kRecordSection, "UID", ""));
  const Text old_options = plat().IniRead(record, kRecordSection, "REID", "");
  if (old_options != "{}") Run(bcd + " /delete " + old_options);

  Text ramdisk = BracedIdFromOutput(Run(bcd + " /create /d \"" + caption + "\" /device"));
  Text loader = "{}";
  bool ok = ramdisk != "{}";
  if (ok) {
    Run(bcd + " /set " + ramdisk + " ramdisksdidevice partition=%systemdrive%");
    Run(bcd + " /set " + ramdisk + " ramdisksdipath \\boot\\boot.sdi");
    loader = BracedIdFromOutput(Run(bcd + " /create /d \"" + caption + "\" /application osloader"));
    if (loader == "{}") {
      Run(bcd + " /delete " + ramdisk);
      ramdisk = "{}";
      ok = false;
    }
  }
  if (ok) {
    Run(bcd + " /set " + loader + " device ramdisk=[%systemdrive%]\\WinPE\\boot.wim," + ramdisk);
    Run(bcd + " /set " + loader + " osdevice ramdisk=[%systemdrive%]\\WinPE\\boot.wim," + ramdisk);
    if (DetectEfiBoot() == 1)
      Run(bcd + " /set " + loader + " path \\windows\\system32\\boot\\winload.efi");
    else
      Run(bcd + " /set " + loader + " path \\windows\\system32\\boot\\winload.exe");
    Run(bcd + " /set " + loader + " systemroot \\windows");
    Run(bcd + " /set " + loader + " detecthal yes");
    Run(bcd + " /set " + loader + " winpe yes");
    Run(bcd + " /default " + loader);
    Run(bcd + " /timeout 30");
    Run(bcd + " /displayorder " + loader + " /addlast");
  } else {
    Log("bcdedit_sub: 未能创建PE启动项，启动配置保持原样");
  }

  plat().IniWrite(record, kRecordSection, "UID", loader);
  plat().IniWrite(task_file, kRecordSection, "UID", loader);
  plat().IniWrite(task_file, kRecordSection, "REID", ramdisk);
  plat().IniWrite(record, kRecordSection, "REID", ramdisk);
  return ok;
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

Text BracedIdFromOutput(const Text& output) { return "{" + TextBetween(output, "{", "}", 1, false) + "}"; }

int DetectEfiBoot() {
  const Text listing = Run(Bcdedit());
  const int at = TextFind(listing, "description ", 1, false);
  const Text manager = at == -1 ? Text() : listing.substr(0, static_cast<size_t>(at - 1));
  return TextFind(manager, ".EFI", 1, true) != -1 ? 1 : 0;
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
  const Text version = plat().FileVersionText(plat().WindowsDirectory() + "\\regedit.exe");
  if (!version.empty() && version[0] == '5') return PrepareNt5();
  return PrepareNt6();
}

}  // namespace mv
