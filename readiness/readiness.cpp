#include "readiness/readiness.h"

#include "boot/bcd_output.h"
#include "boot/boot_entries.h"
#include "boot/boot_tools.h"
#include "core/payload.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/partition_listing.h"
#include "detect/system.h"
#include "download/format.h"
#include "download/pe_prepare.h"
#include "ui/image_choice.h"

namespace mv {
namespace {

ReadinessLine Passed(const char* name, const Text& reason) { return ReadinessLine{name, true, reason}; }
ReadinessLine Failed(const char* name, const Text& reason) { return ReadinessLine{name, false, reason}; }

Text Size(int64_t bytes) {
  // Below a megabyte in whole kilobytes, rounded up: a small file is not "0 MB".
  if (bytes < (1 << 20)) return std::to_string((bytes + 1023) / 1024) + " KB";
  const dl::Scaled s = dl::ScaleSize(bytes);
  return s.number + (s.large ? " GB" : " MB");
}

bool IsMd5(const Text& text) {
  if (text.size() != 32) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

// The bytes a file of the job still needs in the work directory: nothing
// when it is there whole already.
int64_t StillNeeded(const Text& name, int64_t size) {
  if (size <= 0 || name.empty()) return 0;
  return plat().FileSize(WorkDir() + name) == size ? 0 : size;
}

Text FileNameOf(const Text& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

ReadinessLine Administrator() {
  const char* name = "管理员权限";
  if (plat().IsAdministrator()) return Passed(name, "已获得管理员权限");
  return Failed(name, "没有管理员权限，请右键单击程序，选择“以管理员身份运行”");
}

ReadinessLine FirmwareAndPartition() {
  const char* name = "固件与系统分区";
  const Text mode = Text(FirmwareIsLegacy() ? "BIOS" : "UEFI") +
                    (SystemDiskStyle().empty() ? Text() : " + " + SystemDiskStyle());
  if (SystemPartitionNumber().empty())
    return Failed(name, mode + "，未找到系统盘 " + SystemDrive() + " 所在的分区");
  return Passed(name, mode + "，系统分区 " + SystemPartitionNumber());
}

// The PE page; its values go on to the free-space line.
ReadinessLine PePage(PeLinks& pe) {
  const char* name = "PE下载页";
  const Text address = PePageAddress();
  const Bytes body = plat().FetchUrl(address);
  if (body.empty()) return Failed(name, "无法打开 " + address);
  pe = ParsePePage(Text(body.begin(), body.end()));
  if (pe.url.empty() || !SafeWorkFileName(pe.file_name)) {
    pe = PeLinks();
    return Failed(name, "下载页中没有PE的下载地址或文件名（" + address + "）");
  }
  if (!IsMd5(pe.md5)) {
    const Text file = pe.file_name;
    pe = PeLinks();
    return Failed(name, "下载页没有给出PE文件 " + file + " 的MD5（" + address + "）");
  }
  return Passed(name, "PE文件 " + pe.file_name + "，MD5 " + pe.md5);
}

ReadinessLine FreeSpace(const ReadinessRequest& request, const PeLinks& pe) {
  const char* name = "工作盘剩余空间";
  const Text drive = WorkDir().substr(0, 3);
  int64_t needed = 0;
  bool unknown = false;
  auto add = [&](const Text& file, int64_t size) {
    if (size < 0) unknown = true;
    needed += StillNeeded(file, size);
  };
  if (!pe.url.empty()) add(pe.file_name, plat().UrlContentLength(pe.url));
  const ImageChoice& c = Choice();
  if (request.job == ReadinessJob::kInstall && !c.file_name.empty()) {
    if (c.local)  // the file name holds the full path (a Ghost image has no image_path)
      add(FileNameOf(c.file_name), plat().FileSize(c.file_name));
    else
      add(c.file_name, plat().UrlContentLength(c.url));
  }
  if (request.job == ReadinessJob::kRestore && !request.image_path.empty() &&
      UpperAscii(request.image_path.substr(0, 3)) != UpperAscii(drive))
    add(FileNameOf(request.image_path), plat().FileSize(request.image_path));

  const int64_t free_kb = drive.size() == 3 ? plat().FreeSpaceKb(drive) : -1;
  if (free_kb < 0) return Failed(name, "无法读取 " + drive + " 的剩余空间");
  const int64_t free = free_kb * 1024;
  const Text have = drive + " 剩余 " + Size(free);
  if (free < needed) return Failed(name, have + "，不足所需的 " + Size(needed));
  const Text need = needed > 0 ? "，需要 " + Size(needed) : Text("，无需再下载");
  return Passed(name, have + need + (unknown ? "（部分文件大小未知）" : ""));
}

ReadinessLine BootTool() {
  const char* name = "启动配置工具";
  const BcdeditTool tool = FindBcdedit();
  if (tool.path.empty()) return Failed(name, "未找到 bcdedit.exe（系统目录中没有，程序也没有携带）");
  if (tool.stand_in && !plat().RunningUnderWine())
    return Failed(name, tool.path + " 是测试用替代文件，不能修改本机的启动配置");
  const CommandResult listing = RunBcdedit(Text());
  if (listing.exit_code != 0 || !ListingHasBootManager(listing.output))
    return Failed(name, tool.path + " 无法读取本机的启动配置（返回值 " + std::to_string(listing.exit_code) + "）");
  return Passed(name, Text(tool.system ? "系统自带的 " : "程序携带的 ") + tool.path +
                          (tool.stand_in ? "（测试用替代文件）" : "") + "，能读取启动配置");
}

ReadinessLine ChainFiles() {
  const char* name = "XP启动文件";
  for (int id : {kPayloadChainBcf, kPayloadChainBootqii, kPayloadChainQzload}) {
    Bytes bytes;
    if (!CurrentPayload().Read(id, bytes) || !UsableChainFile(id, bytes))
      return Failed(name, "程序没有携带可用的 BCF、bootqii、qzload.pbr，无法在 Windows XP/2003 上添加PE启动项");
  }
  return Passed(name, "程序携带了 BCF、bootqii、qzload.pbr");
}

ReadinessLine RamDiskImage() {
  const char* name = "启动镜像";
  const BootSdiSource sdi = FindBootSdi();
  if (sdi.kind == BootSdiSource::kNone)
    return Failed(name, "未找到有效的 boot.sdi（系统的 Boot 文件夹中没有，程序也没有携带）");
  if (sdi.stand_in && !plat().RunningUnderWine()) return Failed(name, "只有测试用替代的 boot.sdi，不能启动PE");
  const Text whose = sdi.stand_in ? "（测试用替代文件）" : "";
  switch (sdi.kind) {
    case BootSdiSource::kInPlace:
      return Passed(name, BootSdiTarget() + " 有效" + whose);
    case BootSdiSource::kCarried:
      return Passed(name, "使用程序携带的 boot.sdi" + whose);
    default:
      return Passed(name, "使用系统自带的 " + sdi.path + whose);
  }
}

ReadinessLine Writable() {
  const char* name = "目录写入";
  const Text sd = SystemDrive();
  const Text folders[3] = {WorkDir(), sd + "WinPE\\", sd + "boot\\"};
  Text all;
  for (const Text& f : folders) {
    if (!FolderWritable(f)) return Failed(name, f + " 无法写入");
    all += (all.empty() ? "" : "、") + f;
  }
  return Passed(name, all + " 均可写入");
}

}  // namespace

bool FolderWritable(const Text& folder) {
  Text dir = folder;
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  // Not made yet: the folder above it decides whether it can be.
  while (dir.size() > 2 && !plat().FileExists(dir)) {
    const size_t slash = dir.find_last_of("\\/");
    if (slash == Text::npos) return false;
    dir = dir.substr(0, slash);
  }
  if (dir.empty()) return false;
  const Text probe = dir + "\\MV_OSR_probe_" + std::to_string(plat().TickCount()) + ".tmp";
  if (!plat().WriteWholeFile(probe, {Bytes{'M', 'V'}})) return false;
  plat().RemoveFile(probe);
  return !plat().FileExists(probe);
}

std::vector<ReadinessLine> RunReadinessCheck(const ReadinessRequest& request) {
  PeLinks pe;
  const ReadinessLine page = PePage(pe);
  std::vector<ReadinessLine> lines = {Administrator(), FirmwareAndPartition(), FreeSpace(request, pe)};
  lines.push_back(IsNt5() ? ChainFiles() : BootTool());
  lines.push_back(RamDiskImage());
  lines.push_back(Writable());
  lines.push_back(page);
  return lines;
}

bool AllPassed(const std::vector<ReadinessLine>& lines) {
  for (const ReadinessLine& l : lines)
    if (!l.passed) return false;
  return true;
}

Text ReadinessLineText(const ReadinessLine& line) {
  return Text(line.passed ? "[通过] " : "[未通过] ") + line.name + "：" + line.reason;
}

Text FailedLinesText(const std::vector<ReadinessLine>& lines) {
  Text out;
  for (const ReadinessLine& l : lines)
    if (!l.passed) out += l.name + "：" + l.reason + "\r\n";
  return out;
}

}  // namespace mv
