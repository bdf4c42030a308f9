// The data backup: the user's documents, desktop and favourites and the
// drivers of providers other than Microsoft, copied into the work directory's
// "bakfile" folder on a worker thread while the system image downloads (or on
// its own in the data-only mode).
//
// The user's files are copied by UTF-16 path, so names outside GBK and paths
// longer than 260 characters arrive intact. Files that cannot be copied are
// logged and counted; the data-only mode's closing message says how many
// files were copied and how many failed. A cancel stops between two files or
// inside one copy, whose partial target is then removed.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace mv {

// Component names of the data-backup progress: the bar's background (full
// width) and its fill are ui/main_names.h's kDataBackupBar1 and kDataBackupBar2.

// What one backup copied.
struct CopyTally {
  int copied = 0;
  int failed = 0;
};

// Copies source into destination with every subfolder except those whose
// name begins with "." (empty folders are reproduced). The work directory
// and the destination itself are never entered (a source that holds them
// would copy the backup into itself), and junctions and links are not
// followed: each is logged and nothing stands for it in the copy. A folder
// that is there but cannot be listed (access denied) counts as failed; a
// missing one copies nothing. False when the worker was asked to stop (the
// walk ends there).
bool CopyFolderTree(const std::u16string& source, const std::u16string& destination, CopyTally& tally);

// 1 (2000) to 9 (10) from the version of the system's cmd.exe; -1 unknown.
int WindowsVersionCode();
int WindowsVersionCodeOf(const Text& version_text);

// One device instance whose driver is saved.
struct DriverRecord {
  Text description, class_name, version, provider, inf_name, section;
};
// The device instances of the class keys whose provider is not exactly "Microsoft".
std::vector<DriverRecord> ListDrivers();
// A description made usable as a folder name ("\/:*?"<>|" become "_"; one
// of dots and blanks alone becomes "_").
Text DriverFolderName(const Text& description);

// Saves the drivers into "bakfile\DriverBak\"; false when stopped.
bool BackUpDrivers(CopyTally& tally);
// The same with a given Windows version code (above 3: the driver store).
bool BackUpDriversAs(int version_code, CopyTally& tally);

// The backup's sequence (the four items as their check boxes say), with
// its progress; fills the tally. False when the worker was asked to stop
// (the progress is left where it was).
bool RunDataBackup(CopyTally& tally);
// The progress at its end after the backup was stopped ("备份资料：已取消").
void ShowDataBackupStopped();
// The sequence, then in the data-only mode its end: the next button back,
// the wizard on the choice of items, the summary.
void BackUpData();
// The data-only mode's backup as a job of its own (core/job.h): the
// program is busy while it runs, its end shows the summary. When the work
// directory is on the system drive the user is told so first and may stop
// there. The worker's handle, or kNoHandle when nothing was started (a job
// runs, or the user declined).
Handle StartDataBackup();
Handle DataBackupThread();
// Waits for the worker's body to end (tests).
bool WaitDataBackup(uint32_t timeout_ms);

// The cancel button: asks, then cancels the running job (CancelJob), which
// stops the copy between two files (a file being copied is removed) and
// waits for it. An install cancelled here is given up: the choice of a
// system is emptied.
void CancelDataBackup();

// The texts of the end of a data-only backup.
Text DataBackupSummary(const CopyTally& tally);

}  // namespace mv
