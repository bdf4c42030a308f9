// The backup page's requests: a new system backup (a backup task for the PE
// and a restart), deleting a restore point, and restoring one (two
// confirmations, the image index window for WIM/ESD, a restore task and a
// restart). Everything here runs on the window thread.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// What the requests need from other parts of the program; start-up sets
// these. An unset hook: no busy state, no index window (the request stops),
// no PE preparation (the request returns to the page).
struct BackupLinks {
  std::function<void(int)> set_busy;                 // the window's SetBusy
  std::function<void()> prepare_pe;                  // PrepareBackupRestorePe: returns only when it did not restart
  std::function<void(WindowRef)> show_index_window;  // ShowImageIndexWindow: reads and sets Choice()
  // The data-backup button's navigation action (wizard to step 1, back
  // button hidden, step indicator updated).
  std::function<void()> data_only_navigate;
};
void SetBackupLinks(BackupLinks links);
const BackupLinks& Links();

// The main window, owner of the requests' boxes.
void SetBackupOwner(WindowRef owner);
WindowRef BackupOwner();

// The restore point being restored (column 1 of the selected row); the PE
// preparation copies the image and points this at the copy.
Text& RestorePointPath();

// "备份于 2019年8月19日14时5分9秒": the date, then hours, minutes and seconds
// up to the last one that is not zero.
Text DefaultBackupName(const LocalTime& t);
// Work directory + "os_bak\OS_Bak" + "yyyyMMdd" + "hhmmss" (24-hour on a
// 24-hour locale) + ".WIM".
Text BackupFilePath(const LocalTime& t);

// The backup page's three buttons.
void RequestSystemBackup();
void DeleteRestorePoint();
void RequestRestore();
// The restore of one image file (the restore button's request for its
// selected row; the command line's for any image): the two confirmations,
// the image index window for WIM/ESD, the restore task and the PE.
void RestoreImage(const Text& path);

// The beginnings of the requests' confirmations (the name or the path follows).
extern const char kBackupQuestionStart[];        // "是否对当前系统进行备份，..."
extern const char kRestoreQuestionStart[];       // "是否对当前系统进行还原，..."
extern const char kRestoreImageQuestionStart[];  // "请再次确认您选择镜像文件： "

// The path in column 1 of the restore-point list's selected row; false when
// no row is selected.
bool SelectedRestorePoint(Text& path);

}  // namespace mv
