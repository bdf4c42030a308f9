// The wizard's install as one job (core/job.h): started by the next button
// on the system step, run by two workers (the download worker, reinstall.h,
// and the data backup), ended on the window thread by the hand-off -- the PE
// task file, the file name in the environment report, the boot entries and
// the restart countdown -- once both workers have ended and this job's own
// download worker has verified the image and the PE. Also the download
// page's pause and cancel buttons and the data backup's cancel during an
// install.
#pragma once

#include <functional>

#include "backup/data_backup.h"
#include "core/job.h"
#include "download/pe_prepare.h"
#include "platform/platform.h"

namespace mv {

// What an install works from, copied from the recorded choice and the PE
// page when it starts. Nothing the window does afterwards changes it; its
// workers only read it.
struct InstallPlan {
  Text url;          // the catalogue image's address; empty for a local image
  Text file_name;    // the image's name in the work directory
  Text source_path;  // a local image's full path; empty for a catalogue image
  Text md5;          // the catalogue's digest of the image (upper case)
  int index = 1;     // the image index the PE installs
  PeLinks pe;        // the PE page's link, file name and digest
};

// The next button's action on the system step. Checks the choice and the PE
// page (a page without a usable PE ends the program), then starts the job's
// two workers. False when it stopped before starting anything.
bool StartCloudInstall();

// The hand-off (window thread, from the job's end): only with this job's
// image and PE verified; the task file, then the boot entries, then the
// countdown. Anything that fails leaves no task file and no countdown.
void FinishCloudInstall();

// The data backup's work on the second worker of an install: fills the
// tally and returns false when it was stopped. Unset: nothing is copied.
void SetDataBackupJob(std::function<bool(CopyTally&)> job);

// The download page's pause/resume button (also pauses a local copy).
void ToggleDownloadPause();
bool DownloadPaused();
// The download page's cancel button: asks, then CancelJob.
void CancelSystemDownload();
// Stops the install without asking (CancelJob).
void CancelCloudInstall();

// Registers the handlers of the install flow: the catalogue browser's
// navigation (ignored while a job runs), the pause and both cancel buttons,
// the partition number of the PE task file.
void InstallReinstallFlow();

// For the download worker (reinstall.cpp): the running install's plan, and
// what it reports back. A failure shows its message (unless the job was
// cancelled) and ends the job, saying why; forget_choice also empties the
// recorded choice, for an image that proved wrong.
const InstallPlan& RunningPlan();
void ReportImageVerified();
void ReportPeVerified();
void FailInstall(JobFailure why, const Text& message, bool forget_choice = false);

// Texts of the install.
extern const char kNoSystemChosenMessage[];
extern const char kDiskFullMessageStart[];

}  // namespace mv
