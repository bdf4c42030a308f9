// The backup page's requests: see requests.h.
#include "backup/requests.h"

#include "backup/restore_points.h"
#include "boot/pe_task.h"
#include "boot/readiness_gate.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kBackupQuestionStart[] = "是否对当前系统进行备份，此操作会重启电脑并自动备份。请注意保存资料！！！\r\n";
const char kRestoreQuestionStart[] =
    "是否对当前系统进行还原，此操作会重启电脑并自动还原。会格式化掉系统盘，请注意保存资料！！！\r\n";
const char kRestoreImageQuestionStart[] = "请再次确认您选择镜像文件： ";

namespace {

BackupLinks& LinkStore() {
  static BackupLinks* l = new BackupLinks;
  return *l;
}

WindowRef& Owner() {
  static WindowRef w = 0;
  return w;
}

void SetBusy(int busy) {
  if (Links().set_busy) Links().set_busy(busy);
}

bool AskYes(const Text& text, const Text& caption) {
  return plat().ShowMessageBox(text, kMbYesNo | kMbIconQuestion, caption, BackupOwner()) == kResYes;
}

// Page 3 and busy, the task, the PE; back to page 1 when the PE preparation
// returns. Without a complete task file there is no PE preparation (and so
// no boot entry).
void HandOff(int task, const Text& path, const Text& index) {
  if (!PassReadinessGate(task == kPeTaskBackup ? ReadinessJob::kBackup : ReadinessJob::kRestore,
                         task == kPeTaskBackup ? Text() : path))
    return;
  ui::MainModel().SetPage(names::kPageHost, names::kPagePeProgress);
  SetBusy(1);
  if (!WritePeTask(task, path, index)) {
    plat().ShowMessageBox(kPeTaskFailedMessage, kMbIconError, "错误：", BackupOwner());
  } else if (Links().prepare_pe) {
    Links().prepare_pe();
  }
  SetBusy(0);
  ui::MainModel().SetPage(names::kPageHost, names::kPageBackup);
}

}  // namespace

void SetBackupLinks(BackupLinks links) { LinkStore() = std::move(links); }
const BackupLinks& Links() { return LinkStore(); }
void SetBackupOwner(WindowRef owner) { Owner() = owner; }
WindowRef BackupOwner() { return Owner(); }

Text& RestorePointPath() {
  static Text* p = new Text;
  return *p;
}

Text DefaultBackupName(const LocalTime& t) { return "备份于 " + FormatLogTimestamp(t); }

Text BackupFilePath(const LocalTime& t) { return WorkDir() + "os_bak\\OS_Bak" + FormatTimestamp(t, 3, 0) + ".WIM"; }

// A list view's selected row is its value (-1: none).
bool SelectedRestorePoint(Text& path) {
  ui::Component c = ui::MainModel().Get(names::kRestorePointList);
  if (c.value < 0 || c.value >= static_cast<int>(c.rows.size()) || c.rows[c.value].size() < 2) return false;
  path = c.rows[c.value][1];
  return true;
}

void RequestSystemBackup() {
  Text name;
  if (!plat().AskText("请输入 备份名称，备份名称不能重复 不然会导致失败", "提示", DefaultBackupName(plat().Now()),
                      BackupOwner(), name) ||
      name.empty()) {
    return;
  }
  if (!AskYes(kBackupQuestionStart + Text("备份名称：") + name, "提示")) {
    return;
  }
  const Text file = BackupFilePath(plat().Now());
  // The PE writes the backup into os_bak: make sure the folder is there.
  plat().CreateFolder(SystemBackupFolder());
  RestorePointPath().clear();
  HandOff(kPeTaskBackup, file, Text());
}

void DeleteRestorePoint() {
  Text path;
  if (!SelectedRestorePoint(path)) {
    plat().ShowMessageBox("程序无法继续，请您选择需要删除的还原点", kMbOk | kMbIconError, "错误：", BackupOwner());
    return;
  }
  if (!AskYes("是否删除还原点：" + path, "提示")) return;
  if (!SelectedRestorePoint(path)) return;
  plat().RemoveFile(path);
}

void RequestRestore() {
  Text path;
  if (!SelectedRestorePoint(path)) {
    plat().ShowMessageBox("程序无法继续，请您选择需要还原的还原点", kMbOk | kMbIconError, "错误：", BackupOwner());
    return;
  }
  RestoreImage(path);
}

void RestoreImage(const Text& path) {
  if (!AskYes(kRestoreQuestionStart + Text("还原点名称：") + path, "提示")) return;
  RestorePointPath() = path;
  if (!AskYes(kRestoreImageQuestionStart + path, "确认还原镜像文件：")) return;
  if (PeTaskForImage(path) == kPeTaskGhost) {
    HandOff(kPeTaskGhost, RestorePointPath(), Text());
    return;
  }
  ImageChoice& choice = Choice();
  choice.image_index = 1;
  choice.image_path = path;
  if (Links().show_index_window) Links().show_index_window(BackupOwner());
  else choice.image_path.clear();
  if (choice.image_path.empty()) return;
  HandOff(kPeTaskWim, RestorePointPath(), std::to_string(choice.image_index));
}

}  // namespace mv
