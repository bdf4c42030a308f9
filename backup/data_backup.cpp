// The data backup: see data_backup.h.
#include "backup/data_backup.h"

#include "backup/data_warnings.h"
#include "backup/inf.h"
#include "backup/requests.h"
#include "backup/restore_points.h"
#include "boot/boot_names.h"
#include "core/job.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text.h"
#include "platform/names.h"
#include "platform/sync.h"
#include "support/registry.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

namespace {

// The data-only backup's worker and what it copied.
struct DataOnly {
  Mutex mu;
  Handle thread = kNoHandle;
  CopyTally tally;
};

DataOnly& State() {
  static DataOnly* d = new DataOnly;
  return *d;
}

std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  if (!folder.empty() && folder.back() == u'\\') return folder + name;
  return folder + u'\\' + name;
}

Text Ansi(const std::u16string& w) { return plat().WideToAnsi(w); }
std::u16string WideOf(const Text& t) { return plat().AnsiToWide(t); }

void SetStep(const Text& text) { ui::MainModel().SetText(names::kDataBackupStep, text); }
void SetPercent(const Text& text) { ui::MainModel().SetText(names::kDataBackupPercent, text); }
int FullWidth() { return ui::MainModel().Width(names::kDataBackupBar1); }
void GrowBar(int by) {
  ui::MainModel().SetWidth(names::kDataBackupBar2, ui::MainModel().Width(names::kDataBackupBar2) + by);
}

// The end state of the progress: after the last item, or after a cancel
// (which says so: a stopped backup is not a finished one).
void ProgressDone(const char* step = "备份资料：完成") {
  ui::MainModel().SetWidth(names::kDataBackupBar2, FullWidth());
  SetStep(step);
  SetPercent("100%");
  ui::MainModel().SetEnabled(names::kDataBackupCancel, false);
}

// Copies one folder of the user's (documents, desktop, favourites) into bakfile\<name>.
bool BackUpFolder(int csidl, const Text& name, CopyTally& tally) {
  const std::u16string source = plat().ShellFolderWide(csidl);
  plat().CreateFolder(DataBackupFolder());
  const Text dest = DataBackupFolder() + "\\" + name;
  plat().CreateFolder(dest);
  if (source.empty()) return true;
  return CopyFolderTree(source, WideOf(dest), tally);
}

}  // namespace

namespace {

// A folder path for comparison: single backslashes, none at the end, ASCII
// letters folded (Windows names ignore case).
std::u16string FolderKey(const std::u16string& path) {
  std::u16string out;
  for (char16_t c : path) {
    if (c == u'/') c = u'\\';
    if (c == u'\\' && !out.empty() && out.back() == u'\\') continue;
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    out += c;
  }
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

// One copy of a tree. Fences are folders the walk never enters: the work
// directory (a chosen folder that holds it, say documents moved to the data
// drive's root, would otherwise copy the backup into itself without end) and
// the copy's own destination.
struct TreeCopy {
  std::vector<std::u16string> fences;
  CopyTally& tally;

  bool Fenced(const std::u16string& folder) const {
    const std::u16string key = FolderKey(folder);
    for (const std::u16string& f : fences) {
      if (!f.empty() && key == f) return true;
    }
    return false;
  }

  bool Copy(const std::u16string& source, const std::u16string& destination) {
    if (!plat().Checkpoint()) return false;
    if (Fenced(source)) {
      Log("跳过工作目录：" + Ansi(source));
      return true;
    }
    std::vector<WideEntry> entries;
    if (!plat().ListFolderWide(source, entries)) {
      // A missing folder copies nothing; one that is there but cannot be
      // listed (access denied) is a failure the summary must show.
      if (plat().ExistsWide(source)) {
        ++tally.failed;
        Log("备份失败（无法读取文件夹）：" + Ansi(source));
      }
      return true;
    }
    bool any_file = false;
    for (const WideEntry& e : entries) any_file = any_file || (!e.is_directory && !e.is_link);
    if (!any_file) plat().CreateFolderWide(destination);
    for (const WideEntry& e : entries) {
      if (e.is_directory) continue;
      const std::u16string from = Join(source, e.name);
      if (e.is_link) {
        Log("跳过链接：" + Ansi(from));
        continue;
      }
      if (!plat().Checkpoint()) return false;
      plat().CreateFolderWide(destination);
      if (plat().CopyFileWide(from, Join(destination, e.name), [] { return plat().Checkpoint(); })) {
        ++tally.copied;
      } else {
        // A cancel removes the file being copied: it is not a failure.
        if (!plat().Checkpoint()) return false;
        ++tally.failed;
        Log("备份失败：" + Ansi(from));
      }
    }
    for (const WideEntry& e : entries) {
      if (!e.is_directory || (!e.name.empty() && e.name[0] == u'.')) continue;
      const std::u16string from = Join(source, e.name);
      // A junction or link may lead anywhere, back up this very tree too:
      // it is not followed, and nothing stands for it in the copy.
      if (e.is_link) {
        Log("跳过链接：" + Ansi(from));
        continue;
      }
      if (Fenced(from)) {
        Log("跳过工作目录：" + Ansi(from));
        continue;
      }
      // (The copy makes its folder, an empty one too; a folder that could
      // not be read gets none, so that it does not look saved.)
      if (!Copy(from, Join(destination, e.name))) return false;
    }
    return true;
  }
};

}  // namespace

bool CopyFolderTree(const std::u16string& source, const std::u16string& destination, CopyTally& tally) {
  TreeCopy walk{{FolderKey(WideOf(WorkDir())), FolderKey(destination)}, tally};
  return walk.Copy(source, destination);
}

Text DataBackupSummary(const CopyTally& tally) {
  if (tally.failed == 0) return "资料备份完成！\r\n共备份 " + std::to_string(tally.copied) + " 个文件。";
  return "资料备份未全部完成：已备份 " + std::to_string(tally.copied) + " 个文件，" + std::to_string(tally.failed) +
         " 个文件未能备份（详见日志 MV_OSR.log）。";
}

bool RunDataBackup(CopyTally& tally) {
  ui::WindowModel& m = ui::MainModel();
  m.SetEnabled(names::kDataBackupCancel, true);
  m.SetWidth(names::kDataBackupBar2, 15);

  SetPercent("10%");
  SetStep("备份资料：硬件驱动");
  if (m.Checked(names::kDataItems[3]) && !BackUpDrivers(tally)) return false;
  GrowBar(98);

  struct Item {
    const char* percent;
    const char* step;
    int box;
    int csidl;
    const char* folder;
  };
  static const Item kItems[3] = {{"30%", "备份资料：我的文档", 0, 5, "我的文档"},
                                 {"60%", "备份资料：桌面", 2, 16, "桌面"},
                                 {"80%", "备份资料：收藏夹", 1, 6, "收藏夹"}};
  for (int i = 0; i < 3; ++i) {
    if (!plat().Checkpoint()) return false;
    SetPercent(kItems[i].percent);
    SetStep(kItems[i].step);
    if (m.Checked(names::kDataItems[kItems[i].box]) && !BackUpFolder(kItems[i].csidl, kItems[i].folder, tally)) {
      return false;
    }
    if (i < 2) GrowBar(98);
  }
  if (!plat().Checkpoint()) return false;
  ProgressDone();
  Log("资料备份：已复制 " + std::to_string(tally.copied) + " 个文件，失败 " + std::to_string(tally.failed) + " 个");
  return true;
}

namespace {

void SetBusy(int busy) {
  if (Links().set_busy) Links().set_busy(busy);
}

// The data-only mode back on its choice of items, idle: the next button
// (hidden while the backup ran) shown again.
void BackToDataChoice() {
  ui::MainModel().SetVisible(names::kNextButton, true);
  SetBusy(0);
  if (Links().data_only_navigate) Links().data_only_navigate();
}

void FinishDataOnly(const CopyTally& tally) {
  BackToDataChoice();
  plat().ShowMessageBox(DataBackupSummary(tally), kMbOk | (tally.failed ? kMbIconWarning : kMbIconInformation),
                        "提示", BackupOwner());
}

}  // namespace

void ShowDataBackupStopped() { ProgressDone("备份资料：已取消"); }

void BackUpData() {
  CopyTally tally;
  if (!RunDataBackup(tally)) return;
  if (ui::MainModel().Selected(names::kDataBackupButton)) FinishDataOnly(tally);
}

Handle StartDataBackup() {
  if (JobRunning() || !ConfirmDataBackupOnSystemDrive(false)) return kNoHandle;
  JobHooks hooks;
  hooks.finished = [] {
    DataOnly& d = State();
    CopyTally tally;
    {
      LockGuard g(d.mu);
      tally = d.tally;
      d.thread = kNoHandle;
    }
    FinishDataOnly(tally);
    EndJob(JobState::kDone);
  };
  hooks.cancelled = [] {
    {
      LockGuard g(State().mu);
      State().thread = kNoHandle;
    }
    ProgressDone("备份资料：已取消");
    BackToDataChoice();
  };
  hooks.failed = hooks.cancelled;
  if (!BeginJob(JobKind::kDataBackup, hooks)) return kNoHandle;
  SetBusy(1);
  DataOnly& d = State();
  {
    LockGuard g(d.mu);
    d.tally = CopyTally();
  }
  const Handle h = StartJobWorker([&d] {
    CopyTally tally;
    RunDataBackup(tally);  // stopped only by a cancel, whose hook ends the job
    LockGuard g(d.mu);
    d.tally = tally;
  });
  LockGuard g(d.mu);
  d.thread = h;
  return h;
}

Handle DataBackupThread() {
  LockGuard g(State().mu);
  return State().thread;
}

bool WaitDataBackup(uint32_t timeout_ms) {
  const Handle h = DataBackupThread();
  return h == kNoHandle || plat().JoinThread(h, timeout_ms);
}

void CancelDataBackup() {
  if (AskAboutJob("程序正在备份资料，是否取消！", kMbYesNo | kMbIconQuestion, "提示", BackupOwner()) != kResYes) {
    return;
  }
  const JobKind kind = CurrentJobKind();
  if (!CancelJob() || kind != JobKind::kInstall) return;
  // The install is given up with its data backup: the choice is made afresh.
  ui::MainModel().SetText(names::kSelectionLabel, "");
  Choice().file_name.clear();
  Choice().url.clear();
}

}  // namespace mv
