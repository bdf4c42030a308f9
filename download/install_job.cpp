#include "download/install_job.h"

#include <atomic>

#include "boot/boot_entries.h"
#include "boot/boot_names.h"
#include "boot/pe_task.h"
#include "boot/readiness_gate.h"
#include "boot/restart.h"
#include "core/job.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/partition_listing.h"
#include "backup/data_warnings.h"
#include "download/progress.h"
#include "download/reinstall.h"
#include "download/tasks.h"
#include "platform/sync.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kNoSystemChosenMessage[] = "程序无法继续，请您选择需要安装的系统！";
const char kDiskFullMessageStart[] = "工作目录所在磁盘空间不足";

namespace {

// What the workers report to their job (under g_mu).
struct Results {
  bool image_verified = false;
  bool pe_verified = false;
  bool forget_choice = false;
  bool data_complete = false;  // the data backup ran to its end
  CopyTally data;
};

Mutex g_mu;
InstallPlan g_plan;  // set before the workers start, only read while they run
Results g_results;
std::function<bool(CopyTally&)> g_data_job;
std::atomic<bool> g_paused{false};

ui::WindowModel& M() { return ui::MainModel(); }

void Error(const Text& text) { plat().ShowMessageBox(text, kMbIconError, "错误：", dl::MessageOwner()); }

Text FileNameOf(const Text& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

Results CurrentResults() {
  LockGuard g(g_mu);
  return g_results;
}

void ResetPauseButton() {
  g_paused = false;
  M().SetText(dl::kPauseButton, "暂停下载");
}

// The window where the user can choose again: the system step, idle.
void BackToChoice() {
  if (g_paused) ResetPauseButton();
  dl::SetJobThreads(kNoHandle, kNoHandle);
  M().SetEnabled(names::kNextButton, true);
  M().SetPage(names::kWizard, names::kStepSystemChoice);
  for (int i = 0; i < 5; ++i) M().SetImage(names::kStepImages[i], i == names::kStepSystemChoice ? 1 : 0);
  M().SetText(names::kSelectionLabel, M().Text(names::kSelectionLabel));  // drawn again
  dl::SetBusy(0);
}

// What the job waits on outside its workers: the engine's tasks and the
// waits on them, a file copy.
void StopInstallWork() {
  dl::CopyShared().cancel = 1;
  dl::EndWaits();
  dl::StopAndDeleteAllTasks();
}

// A cancel or a failure: the window where the user can choose again, and
// the data backup's progress saying it was stopped (when it was).
void OnInstallStopped() {
  if (!CurrentResults().data_complete) ShowDataBackupStopped();
  BackToChoice();
}

void OnInstallFailed() {
  if (CurrentResults().forget_choice) {
    // The image proved wrong: it must be chosen again.
    Choice().file_name.clear();
    Choice().url.clear();
    Pe().file_name.clear();
    Pe().url.clear();
  }
  OnInstallStopped();
}

void DataBackupWorker() {
  std::function<bool(CopyTally&)> job;
  {
    LockGuard g(g_mu);
    job = g_data_job;
  }
  CopyTally tally;
  const bool complete = job ? job(tally) : true;
  LockGuard g(g_mu);
  g_results.data = tally;
  g_results.data_complete = complete;
}

bool AnyDataItem() {
  for (const char* item : names::kDataItems)
    if (M().Checked(item)) return true;
  return false;
}

InstallPlan PlanOf(const ImageChoice& c, const PeLinks& pe) {
  InstallPlan plan;
  plan.pe = pe;
  if (c.local) {
    plan.source_path = c.file_name;
    plan.file_name = FileNameOf(c.file_name);
    plan.index = c.install_index;
  } else {
    plan.url = c.url;
    plan.file_name = c.file_name;
    plan.md5 = c.md5;
  }
  return plan;
}

}  // namespace

const InstallPlan& RunningPlan() { return g_plan; }

void ReportImageVerified() {
  LockGuard g(g_mu);
  g_results.image_verified = true;
}

void ReportPeVerified() {
  LockGuard g(g_mu);
  g_results.pe_verified = true;
}

void FailInstall(JobFailure why, const Text& message, bool forget_choice) {
  // The cancel, not a failure: the user has been told all there is.
  if (!plat().Checkpoint() || CurrentJobState() == JobState::kCancelled) return;
  if (forget_choice) {
    LockGuard g(g_mu);
    g_results.forget_choice = true;
  }
  Error(message);
  dl::StopAndDeleteAllTasks();
  FailJob(why);
}

void SetDataBackupJob(std::function<bool(CopyTally&)> job) {
  LockGuard g(g_mu);
  g_data_job = std::move(job);
}

bool StartCloudInstall() {
  if (JobRunning()) return false;
  const ImageChoice choice = Choice();
  if (choice.file_name.empty()) {
    Error(kNoSystemChosenMessage);
    M().SetPage(names::kWizard, names::kStepSystemChoice);
    return false;
  }
  // The machine must be able to take the hand-off before anything is fetched.
  if (!PassReadinessGate(ReadinessJob::kInstall)) return false;
  Pe().url.clear();
  Pe().file_name.clear();
  if (!FetchPeLinks("PE下载地址：")) PeLookupFatal();
  if (AnyDataItem() && !ConfirmDataBackupOnSystemDrive(true)) return false;

  JobHooks hooks;
  hooks.stop = StopInstallWork;
  hooks.finished = FinishCloudInstall;
  hooks.failed = OnInstallFailed;
  hooks.cancelled = OnInstallStopped;
  if (!BeginJob(JobKind::kInstall, hooks)) return false;
  {
    LockGuard g(g_mu);
    g_plan = PlanOf(choice, Pe());
    g_results = Results();
  }
  ResetPauseButton();
  dl::SetProgressView(dl::ProgressView::kDownloadPage);
  dl::SetBusy(1);
  // Nothing is ready on the progress step: the next button waits for the hand-off.
  M().SetEnabled(names::kNextButton, false);
  const Handle download = StartJobWorker([] { CloudInstallJob(RunningPlan()); });
  dl::SetJobThreads(download, kNoHandle);
  StartJobWorker(DataBackupWorker);
  return true;
}

void FinishCloudInstall() {
  const Results r = CurrentResults();
  const InstallPlan& plan = RunningPlan();
  dl::SetJobThreads(kNoHandle, kNoHandle);  // the workers have ended: nothing left to pause
  if (!r.image_verified || !r.pe_verified) {
    Log("系统镜像或PE未通过校验，不写入任务文件");
    BackToChoice();
    EndJob(JobState::kFailed, JobFailure::kVerification);
    return;
  }
  if (!ConfirmDataBeforeHandOff(r.data, r.data_complete && AnyDataItem())) {
    Log("资料备份未完成，用户取消安装");
    BackToChoice();
    EndJob(JobState::kCancelled);
    return;
  }
  if (!MoveJobState({JobState::kDownloading, JobState::kVerifying}, JobState::kHandingOff)) return;
  const Text image = WorkDir() + plan.file_name;
  if (!plat().FileExists(image)) {
    Error("程序运行错误，文件丢失请重试！");
    ShutDown();
  }
  // The index picked in the index window is the one the PE installs (a
  // catalogue or Ghost image has only index 1).
  Choice().image_index = plan.index;
  if (!WritePeTask(PeTaskForImage(image), image, std::to_string(plan.index))) {
    Error(kPeTaskFailedMessage);
    BackToChoice();
    EndJob(JobState::kFailed, JobFailure::kHandOff);
    return;
  }
  Log("SetFile_" + plan.file_name);
  LogResult(plat().IniWrite(WorkDir() + "config.ini", "info", "FileName", plan.file_name));
  if (!PrepareBootEntries()) {
    // No countdown into a restart that would not start the PE, and no task
    // for a PE that will not come.
    Log("启动项写入失败，不重启");
    plat().RemoveFile(PeTaskFile());
    BackToChoice();
    EndJob(JobState::kFailed, JobFailure::kHandOff);
    return;
  }
  dl::SetBusyFlag(0);
  M().SetEnabled(names::kNextButton, true);
  M().SetPage(names::kWizard, names::kStepLast);
  StartRestartCountdown();
  EndJob(JobState::kCountingDown);
}

bool DownloadPaused() { return g_paused; }

void ToggleDownloadPause() {
  if (g_paused) {
    dl::ResumeDownload();
    g_paused = false;
  } else {
    dl::PauseDownload();
    g_paused = true;
  }
}

void CancelSystemDownload() {
  if (AskAboutJob("程序正在下载系统，是否取消！", kMbYesNo | kMbIconQuestion, "提示", dl::MessageOwner()) != kResYes)
    return;
  CancelJob();
}

void CancelCloudInstall() { CancelJob(); }

void InstallReinstallFlow() {
  ui::SetNavigateHandler(names::kCatalogueBrowser, [](const std::string& url) {
    // The running job works from its own copy of the choice; a page that
    // navigates meanwhile changes nothing and goes nowhere.
    if (JobRunning()) {
      Log("任务进行中，忽略目录页导航：" + url);
      return false;
    }
    return OnCatalogueNavigate(url);
  });
  ui::SetHandler(dl::kPauseButton, "click", [](const std::string&) { ToggleDownloadPause(); });
  ui::SetHandler(dl::kCancelDownloadButton, "click", [](const std::string&) { CancelSystemDownload(); });
  ui::SetHandler(dl::kPeCancelButton, "click", [](const std::string&) { CancelPeDownload(); });
  SetSystemPartitionNumberSource([] { return SystemPartitionNumber(); });
}

}  // namespace mv
