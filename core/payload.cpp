#include "core/payload.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/log.h"
#include "core/state.h"
#include "core/text.h"

namespace mv {
namespace {

PayloadSource* g_source = nullptr;  // set by tests before anything runs

// The file name after the last "\".
Text BaseName(const Text& path) {
  size_t at = path.rfind('\\');
  return at == Text::npos ? path : path.substr(at + 1);
}

bool Write(const PayloadEntry& e) {
  Bytes bytes;
  const Text target = PayloadTargetPath(e);
  if (target.empty() || !CurrentPayload().Read(e.id, bytes)) return false;
  return plat().WriteWholeFile(target, {bytes});
}

bool UnderFolder(const PayloadEntry& e, const char* folder) {
  const Text p = e.path;
  const Text f = Text(folder) + "\\";
  return e.base == PayloadBase::kWorkDir && p.compare(0, f.size(), f) == 0;
}

// True when the file at the target holds exactly the entry's bytes.
bool SameAsCarried(const PayloadEntry& e, const Text& target) {
  Bytes carried, on_disk;
  return CurrentPayload().Read(e.id, carried) && plat().FileExists(target) &&
         plat().ReadWholeFile(target, on_disk) && on_disk == carried;
}

// A once-per-machine file that is on disk is still replaced when it differs
// from the real file the program carries: a damaged or stale tool, or a
// stand-in left by an earlier build, would otherwise stay for good. Boot
// files on the Windows drive may be the system's own: only a stand-in there
// gives way. A stand-in never replaces anything.
bool Replace(const PayloadEntry& e, const Text& target) {
  if (!CarriesRealFile(e.id)) return false;
  if (e.base == PayloadBase::kWindowsDrive) return FileIsStandIn(target);
  return !SameAsCarried(e, target);
}

}  // namespace

const char kStandInMarker[] = "MV_OSR STAND-IN";

bool IsStandIn(const Bytes& bytes) {
  const char* m = kStandInMarker;
  const size_t n = std::char_traits<char>::length(m);
  return std::search(bytes.begin(), bytes.end(), m, m + n,
                     [](uint8_t b, char c) { return b == static_cast<uint8_t>(c); }) != bytes.end();
}

bool CarriesRealFile(int id) {
  Bytes bytes;
  return CurrentPayload().Read(id, bytes) && !bytes.empty() && !IsStandIn(bytes);
}

bool FileIsStandIn(const Text& path) {
  Bytes bytes;
  return plat().FileExists(path) && plat().ReadWholeFile(path, bytes) && IsStandIn(bytes);
}

const PayloadEntry* FindPayloadEntry(int id) {
  size_t n = 0;
  const PayloadEntry* t = PayloadTable(&n);
  for (size_t i = 0; i < n; ++i)
    if (t[i].id == id) return &t[i];
  return nullptr;
}

Text PayloadTargetPath(const PayloadEntry& entry) {
  const Text base = entry.base == PayloadBase::kWorkDir ? WorkDir() : WindowsDrive();
  if (base.empty()) return Text();
  return base + entry.path;
}

PayloadSource& CurrentPayload() { return g_source ? *g_source : BuiltInPayload(); }

void SetPayloadSource(PayloadSource* source) { g_source = source; }

bool WritePayloadFile(int id) {
  const PayloadEntry* e = FindPayloadEntry(id);
  return e && Write(*e);
}

bool EnsurePayloadFile(int id) {
  const PayloadEntry* e = FindPayloadEntry(id);
  if (!e) return false;
  const Text target = PayloadTargetPath(*e);
  if (target.empty()) return false;
  return SameAsCarried(*e, target) || (Write(*e) && SameAsCarried(*e, target));
}

bool PayloadFileInPlace(int id) {
  const PayloadEntry* e = FindPayloadEntry(id);
  if (!e) return false;
  const Text target = PayloadTargetPath(*e);
  return !target.empty() && SameAsCarried(*e, target);
}

void WriteToolFiles(int set, int /*unused*/) {
  if (set != 1) return;
  const Text& wd = WorkDir();
  SetBcdeditPath(wd + "tools\\bcdedit.exe");
  SetWimlibPath(wd + "tools\\wimlib.exe");

  size_t n = 0;
  const PayloadEntry* t = PayloadTable(&n);

  // The WIM tool and its library: rewritten whenever they differ from what the
  // program carries; failures are silent (a file in use keeps its content).
  for (size_t i = 0; i < n; ++i)
    if (t[i].rule == PayloadRule::kAlways && UnderFolder(t[i], "tools")) EnsurePayloadFile(t[i].id);

  // The download engine, then its companion folder's files in manifest order.
  plat().CreateFolder(wd + "download");
  SetLibraryFolder(wd);
  for (size_t i = 0; i < n; ++i)
    if (t[i].rule == PayloadRule::kAlways && !UnderFolder(t[i], "tools")) EnsurePayloadFile(t[i].id);

  // Written once per machine, and again when what is there differs from the
  // real file the program carries (see Replace).
  for (size_t i = 0; i < n; ++i) {
    if (t[i].rule != PayloadRule::kWhenMissing) continue;
    const Text target = PayloadTargetPath(t[i]);
    if (target.empty() || (plat().FileExists(target) && !Replace(t[i], target))) continue;
    Log("WriteFile_" + BaseName(t[i].path));
    if (t[i].base == PayloadBase::kWindowsDrive) {
      const size_t slash = target.rfind('\\');
      if (slash != Text::npos && slash > 3) plat().CreateFolder(target.substr(0, slash));
    }
    LogResult(Write(t[i]));
  }
}

}  // namespace mv
