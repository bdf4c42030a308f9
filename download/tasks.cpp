#include "download/tasks.h"

#include <atomic>
#include <map>
#include <memory>

#include "core/log.h"
#include "core/state.h"
#include "download/engine_records.h"
#include "download/progress.h"
#include "download/progress_names.h"
#include "platform/sync.h"
#include "ui/model.h"

namespace mv::dl {
namespace {

struct State {
  Mutex mu;
  DownloadLinks links;
  std::vector<XlHandle> tasks;
  std::atomic<XlHandle> current{0};
  std::atomic<int> busy{0};
  std::atomic<Handle> download_worker{kNoHandle};
  std::atomic<Handle> second_worker{kNoHandle};
  struct Digest {
    std::string md5;
    int64_t size = 0;
  };
  std::map<XlHandle, Digest> task_md5;    // under mu
  std::map<std::string, Digest> file_md5;  // under mu
};

State& S() {
  static State s;
  return s;
}

DownloadLinks Links() {
  LockGuard g(S().mu);
  return S().links;
}

}  // namespace

void SetDownloadLinks(DownloadLinks links) {
  LockGuard g(S().mu);
  S().links = std::move(links);
}

void InstallDownloadHooks() { SetShutDownHook(ShutDownEngine); }

std::vector<XlHandle> TaskList() {
  LockGuard g(S().mu);
  return S().tasks;
}
void AppendTask(XlHandle task) {
  LockGuard g(S().mu);
  S().tasks.push_back(task);
}
void ClearTaskList() {
  LockGuard g(S().mu);
  S().tasks.clear();
}
XlHandle CurrentTask() { return S().current; }
void SetCurrentTask(XlHandle task) { S().current = task; }

int BusyFlag() { return S().busy; }
void SetBusyFlag(int busy) { S().busy = busy; }

void SetBusy(int busy) {
  auto links = Links();
  if (links.set_busy)
    links.set_busy(busy);
  else
    SetBusyFlag(busy);
}

void SetJobThreads(Handle download_worker, Handle second_worker) {
  S().download_worker = download_worker;
  S().second_worker = second_worker;
}
Handle DownloadWorker() { return S().download_worker; }
Handle SecondWorker() { return S().second_worker; }

bool StartDownload(const std::string& url, const std::string& file_name, const std::string& info_log_prefix,
                   bool make_current) {
  const std::string path = WorkDir() + file_name;
  {
    LockGuard g(S().mu);
    S().file_md5.erase(path);  // whatever the file was before, it is being written now
  }
  // The records belong to this download (this worker), not to the process.
  auto setup = std::make_unique<DownTaskSetup>();
  FillTaskSetup(*setup, url, file_name, WorkDir());
  const XlHandle task = XlCreateTask(setup.get());
  AppendTask(task);
  if (make_current) SetCurrentTask(task);
  const bool started = XlStartTask(task) != 0;
  Log(std::string("XL_StartTask_") + (started ? "真" : "假"));
  DownTaskInfo info;
  ResetTaskInfo(info);
  Log(info_log_prefix + std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&info))));
  const bool complete = WaitForTask(task, info);
  LockGuard g(S().mu);
  auto it = S().task_md5.find(task);
  if (it == S().task_md5.end()) return complete;
  if (complete) S().file_md5[path] = it->second;
  S().task_md5.erase(it);
  return complete;
}

void NoteTaskMd5(XlHandle task, const std::string& md5, int64_t size) {
  if (md5.empty()) return;
  LockGuard g(S().mu);
  S().task_md5[task] = State::Digest{md5, size};
}

bool TakeDownloadMd5(const std::string& path, std::string* md5, int64_t* size) {
  LockGuard g(S().mu);
  auto it = S().file_md5.find(path);
  if (it == S().file_md5.end()) return false;
  *md5 = it->second.md5;
  *size = it->second.size;
  S().file_md5.erase(it);
  return true;
}

void PauseDownload() {
  if (Handle w = DownloadWorker()) plat().PauseThread(w);
  XlStopTask(CurrentTask());
  ui::MainModel().SetText(kPauseButton, "继续下载");
}

void ResumeDownload() {
  ui::MainModel().SetText(kPauseButton, "暂停下载");
  XlStartTask(CurrentTask());
  if (Handle w = DownloadWorker()) plat().ResumeThread(w);
}

namespace {
void StopAndDeleteAll() {
  for (XlHandle task : TaskList()) {
    XlStopTask(task);
    XlDeleteTask(task);
  }
}
}  // namespace

void StopAndDeleteAllTasks() {
  StopAndDeleteAll();
  ClearTaskList();
}

void ShutDownEngine() {
  if (BusyFlag() == 1) StopAndDeleteAll();
  if (EngineStarted()) XlUnInit();
}

}  // namespace mv::dl
