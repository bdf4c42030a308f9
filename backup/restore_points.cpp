// Restore points: see restore_points.h.
#include "backup/restore_points.h"

#include <cstdio>

#include "core/state.h"
#include "platform/names.h"
#include "platform/sync.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kSearchingText[] = "正在搜索本地备份文件....";
const char kNoBackupText[] = "未检测到备份文件，请单击增加备份点";

namespace {

// "D:\a\b" has three components; double-byte characters are kept whole.
int ComponentCount(const Text& path) {
  int n = 1;
  for (size_t i = 0; i < path.size(); i += GbkCharLength(path, i)) {
    if (path[i] == '\\') ++n;
  }
  return n;
}

Text LowerAscii(Text t) { return FoldCase(t); }

struct SearchState {
  Mutex mu;
  Handle worker = kNoHandle;
  bool running = false;
  bool again = false;
  int counter = 0;
};

SearchState& State() {
  static SearchState* s = new SearchState;
  return *s;
}

Text TwoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

}  // namespace

Text SystemBackupFolder() { return WorkDir() + "os_bak"; }
Text DataBackupFolder() { return WorkDir() + "bakfile"; }

void PublishBackupFolders() {
  ui::MainModel().SetText(names::kDataFolderLabel, DataBackupFolder());
  ui::MainModel().SetText(names::kBackupFolderLabel, SystemBackupFolder());
}

int RestorePointCounter() {
  LockGuard g(State().mu);
  return State().counter;
}

void ResetRestorePointCounter() {
  LockGuard g(State().mu);
  State().counter = 0;
}

bool InWorkDirectory(const Text& path) {
  // The work directory's own files (downloaded images, the PE, unfinished
  // downloads, copies of the user's files) are not restore points; the
  // system backups this program makes in its "os_bak" folder are.
  const Text work = FoldCase(WorkDir());
  if (work.empty()) return false;
  const Text low = FoldCase(path);
  if (low.compare(0, work.size(), work) != 0) return false;
  const Text os_bak = FoldCase(SystemBackupFolder()) + "\\";
  return low.compare(0, os_bak.size(), os_bak) != 0;
}

void AddRestorePoint(const Text& path, const DirEntry& entry) {
  const Text low = LowerAscii(path);
  if (low.find("$recycle.bin") != Text::npos || low.find(":\\recycler") != Text::npos) return;
  if (InWorkDirectory(path)) return;
  int n;
  {
    LockGuard g(State().mu);
    n = ++State().counter;
  }
  // The creation time only when the file can be opened, as the system
  // reports it for an existing, readable file.
  Text when;
  Handle f = plat().OpenRead(path);
  if (f != kNoHandle) {
    plat().Close(f);
    const LocalTime& t = entry.created;
    when = std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) +
           ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
  }
  ui::MainModel().AddRow(names::kRestorePointList, {std::to_string(n), path, when});
}

void FindFiles(const Text& folder, const FileVisitor& visitor, const Text& pattern, bool use_pattern,
               int depth_limit, bool limit_depth) {
  if (!plat().Checkpoint()) return;
  Text dir = folder;
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  const Text mask = use_pattern ? pattern : Text("*.*");
  if (!limit_depth) depth_limit = -1;
  for (const DirEntry& e : plat().ListFolder(dir + mask)) {
    if (!e.is_directory) visitor(dir + e.name, e);
  }
  for (const DirEntry& e : plat().ListFolder(dir + "*.*")) {
    if (!e.is_directory || e.name == "." || e.name == "..") continue;
    const Text sub = dir + e.name;
    if (depth_limit == -1 || ComponentCount(sub) <= depth_limit) {
      FindFiles(sub, visitor, mask, true, depth_limit, true);
    }
  }
}

void SearchBackups() {
  ui::WindowModel& m = ui::MainModel();
  m.SetVisible(names::kBackupSearchStatus, true);
  m.ClearRows(names::kRestorePointList);
  m.Update(names::kRestorePointList, [](ui::Component& c) { c.value = -1; });  // no row selected
  m.SetText(names::kBackupSearchStatus, kSearchingText);

  std::vector<char> drives;
  for (char l = 'A'; l <= 'Z'; ++l) {
    int type = plat().DriveType(Text(1, l) + ":\\");
    if (type == kDriveRemovable || type == kDriveFixed || type == kDriveRemote || type == kDriveCdrom) {
      drives.push_back(l);
    }
  }
  const Text sys = plat().SystemDirectory();
  char sys_letter = sys.empty() ? '\0' : sys[0];
  if (sys_letter >= 'a' && sys_letter <= 'z') sys_letter = static_cast<char>(sys_letter - 'a' + 'A');
  static const char* const kPatterns[4] = {"*.Gho", "*.WIM", "*.ESD", "*.SNA"};
  // An empty card reader or CD drive must not raise the system's "no disk"
  // box: it simply yields nothing.
  const uint32_t mode = plat().FailCriticalErrors();
  for (char l : drives) {
    if (l == sys_letter) continue;
    for (const char* p : kPatterns) {
      if (!plat().Checkpoint()) {
        plat().RestoreErrorMode(mode);
        return;
      }
      FindFiles(Text(1, l) + ":", AddRestorePoint, p, true, 3, true);
    }
  }
  plat().RestoreErrorMode(mode);
  if (!m.Rows(names::kRestorePointList).empty()) {
    m.SetVisible(names::kBackupSearchStatus, false);
  } else {
    m.SetVisible(names::kBackupSearchStatus, true);
    m.SetText(names::kBackupSearchStatus, kNoBackupText);
  }
}

void StartBackupSearch() {
  SearchState& s = State();
  Handle old = kNoHandle;
  {
    LockGuard g(s.mu);
    if (s.running) {
      s.again = true;
      return;
    }
    s.running = true;
    s.again = false;
    old = s.worker;
    s.worker = kNoHandle;
  }
  if (old != kNoHandle) {
    plat().JoinThread(old, ~0u);
    plat().ReleaseThread(old);
  }
  Handle h = plat().StartThread([&s] {
    for (;;) {
      SearchBackups();
      LockGuard g(s.mu);
      if (!s.again || !plat().Checkpoint()) {
        s.running = false;
        return;
      }
      s.again = false;
    }
  });
  LockGuard g(s.mu);
  if (h == kNoHandle) s.running = false;
  s.worker = h;
}

bool WaitBackupSearch(uint32_t timeout_ms) {
  Handle h;
  {
    LockGuard g(State().mu);
    h = State().worker;
  }
  if (h == kNoHandle) return true;
  if (!plat().JoinThread(h, timeout_ms)) return false;
  LockGuard g(State().mu);
  if (State().worker == h && !State().running) {
    plat().ReleaseThread(h);
    State().worker = kNoHandle;
  }
  return true;
}

}  // namespace mv
