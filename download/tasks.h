// The process-wide download state: the task list, the current task, the busy
// flag, the two job threads, and the operations on them: start a download,
// pause and resume, stop every task, and the engine's part of shutting down.
// Stopping a job as a whole is core/job.h's CancelJob.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "download/engine.h"
#include "platform/platform.h"

namespace mv::dl {

// What the download part needs from the window and the install job. Start-up
// sets these before any job starts; unset hooks do nothing (without set_busy
// only the busy flag is cleared).
struct DownloadLinks {
  std::function<void(int)> set_busy;  // the window's SetBusy (navigation too)
};
void SetDownloadLinks(DownloadLinks links);

// Registers the engine's part of the program's end with the core's shut-down.
void InstallDownloadHooks();

// Task handles in creation order; deleted ones stay until the list is emptied.
std::vector<XlHandle> TaskList();
void AppendTask(XlHandle task);
void ClearTaskList();
XlHandle CurrentTask();
void SetCurrentTask(XlHandle task);

// 1 while a job runs. SetBusy of the window sets it through SetBusyFlag.
int BusyFlag();
void SetBusyFlag(int busy);
// The window's SetBusy through the link (navigation too); the flag alone
// without one.
void SetBusy(int busy);

// The download worker and the second (data backup) worker of an install,
// kNoHandle when none runs.
void SetJobThreads(Handle download_worker, Handle second_worker);
Handle DownloadWorker();
Handle SecondWorker();

// Starts a download of url into the work directory as file_name and waits
// for it (WaitForTask). info_log_prefix is the log text written before the
// status record's address ("DownTaskInfo.创建_" or "XL_StartTask_").
// With make_current the handle becomes the current task (pause acts on it).
// True when the file is complete.
bool StartDownload(const std::string& url, const std::string& file_name, const std::string& info_log_prefix,
                   bool make_current);

// The engine's running digest of a task that WaitForTask saw complete, with
// the size the engine reported; StartDownload files it under the path.
void NoteTaskMd5(XlHandle task, const std::string& md5, int64_t size);
// The digest the engine computed for the last download of path in this run,
// handed out once (see DownloadedFileMd5); false when there is none.
bool TakeDownloadMd5(const std::string& path, std::string* md5, int64_t* size);

// The pause button: pause the worker, then stop the task; resume: start the
// task, then let the worker go on.
void PauseDownload();
void ResumeDownload();

// Stops and deletes every task of the list (first to last) and empties it.
void StopAndDeleteAllTasks();

// The engine's part of the program's end: with the busy flag 1, stop and
// delete every task; then release the engine (when it was started).
void ShutDownEngine();

}  // namespace mv::dl
