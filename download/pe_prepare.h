// The PE image: where the service host says the current one is (the PE page),
// and its preparation for the restore and backup requests: brought into the
// work directory (or found there), put on the system drive as
// "WinPE\boot.wim", checked, then the boot entries and the restart.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace mv {

// The PE values read from the PE page.
struct PeLinks {
  Text url;
  Text file_name;
  Text md5;
};
PeLinks& Pe();

// The PE page for the running system: the x64 page when the command
// interpreter's file version is 6.1 or higher and the processor has long
// mode, else the x86 page.
Text PePageAddress();
// The three values of a page: link (from "http" to the next "&"), file name
// after "&filename=", MD5 after "&md5=", each closed by "&".
PeLinks ParsePePage(const Text& page);
// Fetches the page, logs log_prefix + its text and stores its values. False
// when it names no link, no file name or no digest (32 hexadecimal digits),
// or a file name that cannot be saved in the work directory as it is (then
// the values are left empty).
bool FetchPeLinks(const Text& log_prefix);
// "程序无法继续，获取安装系统（PE）错误 请前往官网下载最新版！", the wizard back on
// the system choice, the maker's home page opened, the program ended.
[[noreturn]] void PeLookupFatal();
extern const char kPeLookupMessage[];

// The image of the restore point being restored (empty for a backup).
void SetRestoreImagePath(const Text& path);
const Text& RestoreImagePath();

// The PE preparation of the restore and backup requests (window thread), a
// job of its own (core/job.h): the restore image copied into the work
// directory, the PE there checked against the page's digest (a wrong one is
// removed and downloaded again), put in place and checked again. Ends with
// the restart when everything is in place; returns when it could not be
// done (after telling the user, and without any boot entry) or the user
// cancelled.
void PrepareBackupRestorePe();

// The copy progress of this preparation on the PE progress area: whole
// percents rounded down. Keeps the window alive; stops the copy once the
// preparation was cancelled.
bool ShowCopyProgress(uint64_t total, uint64_t copied);

// The PE download's cancel button: asks, then cancels the preparation
// (CancelJob), which returns quietly.
void CancelPeDownload();
// 1 while the preparation waits for its PE download.
int PeDownloadStarted();

// Checks the PE now in place ("WinPE\boot.wim" on the system drive) against
// the expected digest. On a mismatch the copy is removed and false returned.
// The digest progress goes to the current view.
bool VerifyInstalledPe(const Text& expected);
// "WinPE文件校验错误，请稍后再试！"
extern const char kInstalledPeBadMessage[];

// True when path is a finished file: it exists and the engine keeps no
// control file beside it (a download in progress or interrupted).
bool FinishedFile(const Text& path);

}  // namespace mv
