#include "boot/boot_tools.h"

#include "core/log.h"
#include "core/payload.h"
#include "core/state.h"
#include "core/text.h"

namespace mv {
namespace {

Text WorkTool() { return BcdeditPath().empty() ? WorkDir() + "tools\\bcdedit.exe" : BcdeditPath(); }

// A file of the real system directory, looked at with redirection off.
bool InRealSystemDirectory(const Text& path, bool* stand_in) {
  void* cookie = plat().DisableFsRedirection();
  const bool there = plat().FileExists(path);
  if (there && stand_in) *stand_in = FileIsStandIn(path);
  plat().RevertFsRedirection(cookie);
  return there;
}

bool SdiFile(const Text& path, bool* stand_in) {
  Bytes bytes;
  if (!plat().FileExists(path) || !plat().ReadWholeFile(path, bytes) || !IsSdiImage(bytes)) return false;
  *stand_in = IsStandIn(bytes);
  return true;
}

}  // namespace

BcdeditTool FindBcdedit() {
  BcdeditTool tool;
  const Text work = WorkTool();
  if (CarriesRealFile(kPayloadBcdedit)) {
    tool.path = work;
    tool.stand_in = FileIsStandIn(work);  // an earlier build's, not replaced
    return tool;
  }
  const Text system = plat().SystemDirectory() + "\\bcdedit.exe";
  bool stand_in = false;
  if (InRealSystemDirectory(system, &stand_in)) {
    tool.path = system;
    tool.system = true;
    tool.stand_in = stand_in;
    return tool;
  }
  if (!WorkDir().empty() && plat().FileExists(work)) {
    tool.path = work;
    tool.stand_in = true;  // the program carries no real one
  }
  return tool;
}

CommandResult RunBcdedit(const Text& arguments) {
  const BcdeditTool tool = FindBcdedit();
  // With no tool the line names the work directory's, which is not there:
  // the interpreter reports it as any missing program.
  const Text path = tool.path.empty() ? WorkTool() : tool.path;
  return plat().RunHiddenCode(arguments.empty() ? path : path + " " + arguments, tool.system);
}

bool IsSdiImage(const Bytes& bytes) {
  return bytes.size() >= 4 && bytes[0] == '$' && bytes[1] == 'S' && bytes[2] == 'D' && bytes[3] == 'I';
}

bool FileIsSdiImage(const Text& path) {
  bool stand_in = false;
  return SdiFile(path, &stand_in);
}

std::vector<Text> SystemBootSdiPlaces() {
  const Text windows = plat().WindowsDirectory();
  return {windows + "\\Boot\\DVD\\PCAT\\boot.sdi", windows + "\\Boot\\DVD\\EFI\\boot.sdi",
          SystemDrive() + "Recovery\\WindowsRE\\boot.sdi"};
}

Text BootSdiTarget() { return SystemDrive() + "boot\\boot.sdi"; }

BootSdiSource FindBootSdi() {
  // Each candidate once; real ones win over stand-ins, earlier over later.
  std::vector<BootSdiSource> found;
  bool stand_in = false;
  if (SdiFile(BootSdiTarget(), &stand_in)) found.push_back({BootSdiSource::kInPlace, BootSdiTarget(), stand_in});
  Bytes carried;
  if (CurrentPayload().Read(kPayloadBootSdi, carried) && IsSdiImage(carried))
    found.push_back({BootSdiSource::kCarried, Text(), IsStandIn(carried)});
  for (const Text& place : SystemBootSdiPlaces())
    if (SdiFile(place, &stand_in)) found.push_back({BootSdiSource::kSystemFile, place, stand_in});
  for (bool want_stand_in : {false, true})
    for (const BootSdiSource& s : found)
      if (s.stand_in == want_stand_in) return s;
  return BootSdiSource();
}

bool PlaceBootSdi() {
  const BootSdiSource source = FindBootSdi();
  if (source.kind == BootSdiSource::kNone) {
    Log("boot.sdi: 未找到可用的启动镜像");
    return false;
  }
  if (source.stand_in && !plat().RunningUnderWine()) {
    Log("boot.sdi: 只有测试用替代文件，不使用");
    return false;
  }
  if (source.kind == BootSdiSource::kInPlace) return true;

  const Text target = BootSdiTarget();
  plat().CreateFolder(SystemDrive() + "boot");
  // A copy never lands on a hidden or read-only file.
  if (plat().FileExists(target)) plat().SetAttributes(target, kAttrArchive);
  bool written = false;
  if (source.kind == BootSdiSource::kCarried) {
    Bytes bytes;
    written = CurrentPayload().Read(kPayloadBootSdi, bytes) && plat().WriteWholeFile(target, {bytes});
    Log("boot.sdi: 写入程序携带的启动镜像");
  } else {
    written = plat().CopyFileOver(source.path, target);
    Log("boot.sdi: 复制系统自带的启动镜像 " + source.path);
  }
  LogResult(written);
  bool stand_in = false;
  return written && SdiFile(target, &stand_in) && (!stand_in || plat().RunningUnderWine());
}

}  // namespace mv
