// The wizard's install: started by the next button on the system step, run
// by two workers (the download job here and the data backup), ended by the
// hand-off of whichever finishes last: the PE task file, the file name in the
// environment report, the boot entries and the restart countdown. Also the
// download page's pause and cancel buttons.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// The next button's action on the system step. Checks the choice and the PE
// page (a page without a usable PE ends the program), then starts both
// workers. False when it stopped at the check (nothing started).
bool StartCloudInstall();

// The download worker: brings the system image and the PE into the work
// directory, checks both, puts the PE in place, counts itself finished.
void CloudInstallJob();

// The hand-off, run by the job that finished last.
void FinishCloudInstall();

// The data backup's work, run on the second worker of an install; the
// worker counts the job finished (and hands off when last) after it returns.
// Unset: the second worker only counts itself finished.
void SetDataBackupJob(std::function<void()> job);

// The download page's pause/resume button.
void ToggleDownloadPause();
bool DownloadPaused();
// The download page's cancel button: asks, then CancelCloudInstall.
void CancelSystemDownload();
// Stops the install without asking: both workers asked to stop, every task
// stopped and deleted, the wizard back on the system choice, idle again. A
// partial download stays for the next attempt to resume.
void CancelCloudInstall();

// Registers the handlers of the install flow: the catalogue browser's
// navigation, the pause and both cancel buttons, the partition number of the
// PE task file.
void InstallReinstallFlow();

// Texts of the install.
extern const char kNoSystemChosenMessage[];
extern const char kDiskFullMessageStart[];

}  // namespace mv
