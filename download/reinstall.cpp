#include "download/reinstall.h"

#include <atomic>
#include <vector>

#include "boot/boot_entries.h"
#include "boot/boot_names.h"
#include "boot/pe_task.h"
#include "boot/readiness_gate.h"
#include "boot/restart.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/partition_listing.h"
#include "download/file_md5.h"
#include "download/format.h"
#include "download/pe_prepare.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "platform/sync.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kNoSystemChosenMessage[] = "程序无法继续，请您选择需要安装的系统！";
const char kDiskFullMessageStart[] = "工作目录所在磁盘空间不足";

namespace {

Mutex g_mu;
std::function<void()> g_data_backup_job;
std::atomic<bool> g_paused{false};

ui::WindowModel& M() { return ui::MainModel(); }

void Error(const Text& text) { plat().ShowMessageBox(text, kMbIconError, "错误：", dl::MessageOwner()); }

// A job that was asked to stop ends without a word: the cancel has told the
// user all there is.
bool Cancelled() { return !plat().Checkpoint(); }

// A failed step: the message and the abort (which stops this worker), unless
// the failure was the cancel itself.
void Fail(const Text& text) {
  if (Cancelled()) return;
  Error(text);
  dl::AbortDownloads();
}

void Status(const Text& text) { M().SetText(dl::kDownloadPage.status, text); }

void ResetPage() {
  M().SetText(dl::kDownloadPage.progress, dl::kZeroProgressLine);
  dl::ShowPercent(dl::kDownloadPage, 0);
  M().SetWidth(dl::kDownloadPage.fill, 1);
  M().SetEnabled(dl::kPauseButton, true);
  M().SetEnabled(dl::kSecondActionButton, true);
}

void ShowCompletion(const Text& status) {
  M().SetText(dl::kDownloadPage.progress, dl::kZeroProgressLine);
  dl::ShowPercent(dl::kDownloadPage, 100);
  M().SetEnabled(dl::kPauseButton, false);
  M().SetEnabled(dl::kSecondActionButton, false);
  Status(status);
}

Text FileNameOf(const Text& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

Text SizeText(int64_t bytes) {
  const dl::Scaled s = dl::ScaleSize(bytes);
  return s.number + (s.large ? "GB" : "MB");
}

// What still has to be written into the work directory for one file: its
// size less what is already there (an interrupted download keeps its full
// size on disk; a file to be replaced frees its own). -1 when unknown.
int64_t StillNeeded(int64_t size, const Text& target) {
  if (size < 0) return -1;
  const int64_t have = plat().FileSize(target);
  return have > 0 ? (size > have ? size - have : 0) : size;
}

// The work drive must hold what the install is about to write; told now
// rather than when the disk runs full hours into the download.
bool EnoughSpace(const std::vector<int64_t>& needs) {
  int64_t need = 0;
  for (int64_t n : needs)
    if (n > 0) need += n;
  const int64_t free_kb = plat().FreeSpaceKb(WorkDir().substr(0, 3));
  if (need == 0 || free_kb < 0 || need <= free_kb * 1024) return true;
  Log("磁盘空间不足：需要" + std::to_string(static_cast<long long>(need)) + "字节，可用" +
      std::to_string(static_cast<long long>(free_kb)) + "KB");
  Error(Text(kDiskFullMessageStart) + "（" + WorkDir().substr(0, 2) + "）：需要" + SizeText(need) + "，可用" +
        SizeText(free_kb * 1024) + "。\r\n请清理磁盘空间后重新选择！");
  dl::AbortDownloads();
  return false;
}

// Downloads the chosen image and checks its digest. False when the job has
// to end (failure told and aborted, or cancelled).
bool DownloadAndVerifySystem(const Text& fail_message, const Text& wrong_message, const Text& name_log) {
  ImageChoice& c = Choice();
  const Text path = WorkDir() + c.file_name;
  ResetPage();
  Status("下载文件：保存路径：" + path);
  if (!dl::StartDownload(c.url, c.file_name, "DownTaskInfo.创建_", true)) {
    Fail(fail_message);
    return false;
  }
  Log(name_log);
  Status("检验文件完整性：" + path);
  M().SetText(dl::kDownloadPage.progress, dl::kZeroProgressLine);
  const Text digest = dl::FileMd5(path, dl::ShowHashProgress);
  if (Cancelled()) return false;
  Log("云端系统本地副本MD5：" + digest);
  if (digest.empty() || digest != c.md5) {
    Log("云端系统本地副本MD5不正确，文件删除，重新下载。");
    plat().RemoveFile(path);
    M().SetPage(names::kWizard, names::kStepSystemChoice);
    c.file_name.clear();
    c.url.clear();
    Pe().file_name.clear();
    Pe().url.clear();
    Error(wrong_message);
    dl::AbortDownloads();
    return false;
  }
  Log("云端系统本地副本：MD5校验通过");
  c.url.clear();
  return true;
}

bool BringSystemImage() {
  ImageChoice& c = Choice();
  const Text work = WorkDir();
  if (c.local) {
    Log("mode=0");
    ResetPage();
    const Text name = FileNameOf(c.file_name);
    Status("复制文件：保存路径：" + work + name);
    Log("本地系统文件名： " + c.file_name);
    const bool pe_needed = !FinishedFile(work + Pe().file_name);
    if (!EnoughSpace({StillNeeded(plat().FileSize(c.file_name), work + name),
                      pe_needed ? StillNeeded(plat().UrlContentLength(Pe().url), work + Pe().file_name) : 0}))
      return false;
    plat().SetAttributes(work + name, kAttrArchive);
    if (!dl::CopyWithProgress(c.file_name, work + name)) {
      Fail("文件复制错误，请重新选择文件！");
      return false;
    }
    Log("复制本地系统到工作目录");
    c.file_name = name;
    ShowCompletion("复制文件：完成");
    return true;
  }

  Log("mode=1");
  Log("StartDownload");
  Log("云端PE信息：" + Pe().url + "&" + Pe().md5 + "&" + Pe().file_name);
  Log("云端系统信息：" + c.url + "&" + c.md5 + "&" + c.file_name);
  const Text path = work + c.file_name;
  const bool have_image = FinishedFile(path);
  const bool have_pe = FinishedFile(work + Pe().file_name);
  if (!EnoughSpace({have_image ? 0 : StillNeeded(plat().UrlContentLength(c.url), path),
                    have_pe ? 0 : StillNeeded(plat().UrlContentLength(Pe().url), work + Pe().file_name)}))
    return false;
  // An unfinished download is continued by the engine, not hashed.
  if (!have_image)
    return DownloadAndVerifySystem("文件下载错误，请重新选择下载！", "程序验证错误，请重新选择下载！",
                                   "云端系统文件名称：" + c.file_name);
  Log("已存在系统文件：" + c.file_name);
  Status("检验文件完整性：" + path);
  const Text digest = dl::FileMd5(path, dl::ShowHashProgress);
  if (Cancelled()) return false;
  Log("已存在系统文件MD5：" + digest);
  if (!digest.empty() && digest == c.md5) {
    Log("已存在系统文件：MD5值正确，无需重新下载");
    ShowCompletion("下载文件：完成");
    return true;
  }
  plat().RemoveFile(path);
  Log("已存在系统文件：MD5值不正确，文件删除");
  Log("系统下载地址：" + c.url);
  return DownloadAndVerifySystem("文件下载错误，请重新选择下载！", "文件验证错误，请重新选择下载！",
                                 "云端系统文件名称： " + c.file_name);
}

bool BringPe() {
  const Text work = WorkDir();
  const Text sd = SystemDrive();
  for (const char* dir : {"boot", "WinPE"}) {
    plat().CreateFolder(sd + dir);
    plat().SetAttributes(sd + dir, kAttrHidden);
  }
  PeLinks& pe = Pe();
  const Text pe_path = work + pe.file_name;
  if (FinishedFile(pe_path)) {
    Log("工作目录内已有PE文件：" + pe.file_name);
    Status("检验PE文件完整性：" + pe_path);
    const Text digest = dl::FileMd5(pe_path, dl::ShowHashProgress);
    if (Cancelled()) return false;
    Log("云端PE本地副本MD5：" + digest);
    if (digest.empty() || digest != pe.md5) {
      // Kept, it would fail every later attempt the same way.
      plat().RemoveFile(pe_path);
      Fail("文件下载错误，请重新选择下载！");
      return false;
    }
    Log("工作目录内PE文件MD5值检验通过：" + pe.file_name);
  } else {
    ResetPage();
    Status("下载文件：保存路径：" + pe_path);
    Log("从云端下载PE到工作目录，PE文件名称：" + pe.file_name);
    if (!dl::StartDownload(pe.url, pe.file_name, "DownTaskInfo.创建_", true)) {
      Fail("PE文件下载错误，请重新选择下载！");
      return false;
    }
    Status("检验PE文件完整性：" + pe_path);
    const Text digest = dl::FileMd5(pe_path, dl::ShowHashProgress);
    if (Cancelled()) return false;
    Log("云端PE本地副本MD5：" + digest);
    if (digest.empty() || digest != pe.md5) {
      plat().RemoveFile(pe_path);
      Fail("文件下载错误，请重新选择下载！");
      return false;
    }
    Log("云端PE本地副本：MD5值检验通过");
  }
  Status("复制PE文件：保存路径：" + pe_path);
  LogResult(plat().CopyFileOver(pe_path, sd + "WinPE\\boot.wim"));
  Log("工作目录内PE文件已经安装到系统目录");
  // The copy is what boots: a failed or damaged copy must not get a boot entry.
  if (!VerifyInstalledPe()) {
    Fail(kInstalledPeBadMessage);
    return false;
  }
  return true;
}

void DataBackupWorker() {
  std::function<void()> job;
  {
    LockGuard g(g_mu);
    job = g_data_backup_job;
  }
  if (job) job();
  if (dl::FinishJob()) FinishCloudInstall();
}

// A worker of an earlier attempt that was cancelled may still be on its way
// to its next checkpoint; the new one must not write beside it.
void EndEarlierWorkers() {
  for (Handle h : {dl::DownloadWorker(), dl::SecondWorker()}) {
    if (h == kNoHandle) continue;
    plat().RequestStop(h);
    while (!plat().JoinThread(h, 50)) plat().ProcessPendingEvents();
    plat().ReleaseThread(h);
  }
  dl::SetJobThreads(kNoHandle, kNoHandle);
}

}  // namespace

void SetDataBackupJob(std::function<void()> job) {
  LockGuard g(g_mu);
  g_data_backup_job = std::move(job);
}

bool StartCloudInstall() {
  if (Choice().file_name.empty()) {
    Error(kNoSystemChosenMessage);
    M().SetPage(names::kWizard, names::kStepSystemChoice);
    return false;
  }
  if (!PassReadinessGate(ReadinessJob::kInstall)) return false;
  Pe().url.clear();
  Pe().file_name.clear();
  if (!FetchPeLinks("PE下载地址：")) PeLookupFatal();

  EndEarlierWorkers();
  g_paused = false;
  M().SetText(dl::kPauseButton, "暂停下载");
  dl::SetBusy(1);
  dl::SetBusyFlag(1);
  // Both jobs are counted before either starts: a quick download job must
  // not find itself the last one while the data backup is still unborn.
  dl::SetJobCounters(2, 0);
  const Handle download = plat().StartThread(CloudInstallJob);
  const Handle backup = plat().StartThread(DataBackupWorker);
  dl::SetJobThreads(download, backup);
  return true;
}

void CloudInstallJob() {
  dl::SetProgressView(dl::ProgressView::kDownloadPage);
  if (!BringSystemImage()) return;
  if (!BringPe()) return;
  Pe().url.clear();
  ShowCompletion("下载文件：完成");
  dl::SetBusyFlag(0);
  if (dl::FinishJob()) FinishCloudInstall();
}

void FinishCloudInstall() {
  ImageChoice& c = Choice();
  const Text name = FileNameOf(c.file_name);
  const Text image = WorkDir() + name;
  // The index picked in the index window is the one the PE installs (a
  // catalogue or Ghost image has only index 1).
  c.image_index = c.install_index;
  WritePeTask(PeTaskForImage(image), image, std::to_string(c.install_index));
  if (!plat().FileExists(WorkDir() + c.file_name)) {
    Error("程序运行错误，文件丢失请重试！");
    ShutDown();
  }
  Log("SetFile_" + c.file_name);
  LogResult(plat().IniWrite(WorkDir() + "config.ini", "info", "FileName", c.file_name));
  if (!PrepareBootEntries()) {
    // No countdown into a restart that would not start the PE.
    Log("启动项写入失败，不重启");
    dl::SetBusy(0);
    M().SetPage(names::kWizard, names::kStepSystemChoice);
    return;
  }
  M().SetPage(names::kWizard, names::kStepLast);
  StartRestartCountdown();
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
  if (plat().ShowMessageBox("程序正在下载系统，是否取消！", kMbYesNo | kMbIconQuestion, "提示", dl::MessageOwner()) !=
      kResYes)
    return;
  CancelCloudInstall();
}

void CancelCloudInstall() {
  // The workers are told first, so that a wait or copy ended by what follows
  // is seen as the cancel, not as a failure.
  for (Handle h : {dl::DownloadWorker(), dl::SecondWorker()})
    if (h != kNoHandle) plat().RequestStop(h);
  dl::CopyShared().cancel = 1;
  dl::EndWaits();
  dl::StopAndDeleteAllTasks();
  if (g_paused) {
    g_paused = false;
    M().SetText(dl::kPauseButton, "暂停下载");
  }
  M().SetEnabled(names::kNextButton, true);
  M().SetPage(names::kWizard, names::kStepSystemChoice);
  dl::LowerStartedJobs();
  M().SetText(names::kSelectionLabel, M().Text(names::kSelectionLabel));
  dl::SetBusy(0);
}

void InstallReinstallFlow() {
  ui::SetNavigateHandler(names::kCatalogueBrowser, OnCatalogueNavigate);
  ui::SetHandler(dl::kPauseButton, "click", [](const std::string&) { ToggleDownloadPause(); });
  ui::SetHandler(dl::kSecondActionButton, "click", [](const std::string&) { CancelSystemDownload(); });
  ui::SetHandler(dl::kPeCancelButton, "click", [](const std::string&) { CancelPeDownload(); });
  SetSystemPartitionNumberSource([] { return SystemPartitionNumber(); });
}

}  // namespace mv
