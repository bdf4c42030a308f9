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

// The worker's whole sequence (the four items as their check boxes say).
void BackUpData();
// Starts BackUpData on a worker thread (one at a time); the handle, or
// kNoHandle when one is running already.
Handle StartDataBackup();
Handle DataBackupThread();
// Waits for the worker to end and releases it (tests and shut-down).
bool WaitDataBackup(uint32_t timeout_ms);

// The cancel button: asks, stops the worker between two files and sets the
// progress to its end.
void CancelDataBackup();

// The texts of the end of a data-only backup.
Text DataBackupSummary(const CopyTally& tally);

}  // namespace mv
