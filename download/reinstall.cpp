#include "download/reinstall.h"

#include <cstdint>
#include <vector>

#include "core/job.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text.h"
#include "download/file_md5.h"
#include "download/format.h"
#include "download/pe_prepare.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "ui/model.h"

namespace mv {

namespace {

ui::WindowModel& M() { return ui::MainModel(); }

// A job that was asked to stop ends without a word: the cancel has told the
// user all there is.
bool Cancelled() { return !plat().Checkpoint(); }

// The digest of a file the job is about to trust.
Text Digest(const Text& path) {
  MoveJobState({JobState::kDownloading}, JobState::kVerifying);
  const Text digest = dl::DownloadedFileMd5(path, dl::ShowHashProgress);
  MoveJobState({JobState::kVerifying}, JobState::kDownloading);
  return digest;
}

void Status(const Text& text) { M().SetText(dl::kDownloadPage.status, text); }

void ResetPage() {
  M().SetText(dl::kDownloadPage.progress, dl::kZeroProgressLine);
  dl::ShowPercent(dl::kDownloadPage, 0);
  M().SetWidth(dl::kDownloadPage.fill, 1);
  M().SetEnabled(dl::kPauseButton, true);
  M().SetEnabled(dl::kCancelDownloadButton, true);
}

void ShowCompletion(const Text& status) {
  M().SetText(dl::kDownloadPage.progress, dl::kZeroProgressLine);
  dl::ShowPercent(dl::kDownloadPage, 100);
  M().SetEnabled(dl::kPauseButton, false);
  M().SetEnabled(dl::kCancelDownloadButton, false);
  Status(status);
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
  const int64_t need = SpaceNeeded(needs);
  const int64_t free_kb = plat().FreeSpaceKb(WorkDir().substr(0, 3));
  if (need == 0 || free_kb < 0 || need <= free_kb * 1024) return true;
  Log("磁盘空间不足：需要" + std::to_string(static_cast<long long>(need)) + "字节，可用" +
      std::to_string(static_cast<long long>(free_kb)) + "KB");
  FailInstall(JobFailure::kDownload, Text(kDiskFullMessageStart) + "（" + WorkDir().substr(0, 2) + "）：需要" + SizeText(need) + "，可用" +
              SizeText(free_kb * 1024) + "。\r\n请清理磁盘空间后重新选择！");
  return false;
}

// Downloads the chosen image and checks its digest. False when the job has
// to end (failure told, or cancelled).
bool DownloadAndVerifySystem(const InstallPlan& plan, const Text& wrong_message, const Text& name_log) {
  const Text path = WorkDir() + plan.file_name;
  ResetPage();
  Status("下载文件：保存路径：" + path);
  if (!dl::StartDownload(plan.url, plan.file_name, "DownTaskInfo.创建_", true)) {
    FailInstall(JobFailure::kDownload, "文件下载错误，请重新选择下载！");
    return false;
  }
  Log(name_log);
  Status("检验文件完整性：" + path);
  M().SetText(dl::kDownloadPage.progress, dl::kZeroProgressLine);
  const Text digest = Digest(path);
  if (Cancelled()) return false;
  Log("云端系统本地副本MD5：" + digest);
  if (digest.empty() || digest != plan.md5) {
    Log("云端系统本地副本MD5不正确，文件删除，重新下载。");
    plat().RemoveFile(path);
    FailInstall(JobFailure::kVerification, wrong_message, true);
    return false;
  }
  Log("云端系统本地副本：MD5校验通过");
  return true;
}

bool SamePath(const Text& a, const Text& b) { return UpperAscii(a) == UpperAscii(b); }

bool BringLocalImage(const InstallPlan& plan) {
  const Text work = WorkDir();
  const Text target = work + plan.file_name;
  Log("mode=0");
  ResetPage();
  Status("复制文件：保存路径：" + target);
  Log("本地系统文件名： " + plan.source_path);
  const bool pe_needed = !FinishedFile(work + plan.pe.file_name);
  if (!EnoughSpace({SamePath(plan.source_path, target) ? 0 : StillNeeded(plat().FileSize(plan.source_path), target),
                    pe_needed ? StillNeeded(plat().UrlContentLength(plan.pe.url), work + plan.pe.file_name) : 0}))
    return false;
  if (SamePath(plan.source_path, target)) {
    // Picked from the work directory itself: a copy onto itself would fail.
    if (!plat().FileExists(target)) {
      FailInstall(JobFailure::kDownload, "文件复制错误，请重新选择文件！");
      return false;
    }
    Log("本地系统文件已在工作目录内");
  } else {
    plat().SetAttributes(target, kAttrArchive);
    if (!dl::CopyWithProgress(plan.source_path, target)) {
      FailInstall(JobFailure::kDownload, "文件复制错误，请重新选择文件！");
      return false;
    }
    Log("复制本地系统到工作目录");
  }
  ShowCompletion("复制文件：完成");
  return true;
}

bool BringSystemImage(const InstallPlan& plan) {
  if (!plan.source_path.empty()) return BringLocalImage(plan);

  const Text work = WorkDir();
  Log("mode=1");
  Log("StartDownload");
  Log("云端PE信息：" + plan.pe.url + "&" + plan.pe.md5 + "&" + plan.pe.file_name);
  Log("云端系统信息：" + plan.url + "&" + plan.md5 + "&" + plan.file_name);
  const Text path = work + plan.file_name;
  const bool have_image = FinishedFile(path);
  const bool have_pe = FinishedFile(work + plan.pe.file_name);
  if (!EnoughSpace({have_image ? 0 : StillNeeded(plat().UrlContentLength(plan.url), path),
                    have_pe ? 0 : StillNeeded(plat().UrlContentLength(plan.pe.url), work + plan.pe.file_name)}))
    return false;
  // An unfinished download is continued by the engine, not hashed.
  if (!have_image)
    return DownloadAndVerifySystem(plan, "程序验证错误，请重新选择下载！", "云端系统文件名称：" + plan.file_name);
  Log("已存在系统文件：" + plan.file_name);
  Status("检验文件完整性：" + path);
  const Text digest = Digest(path);
  if (Cancelled()) return false;
  Log("已存在系统文件MD5：" + digest);
  if (!digest.empty() && digest == plan.md5) {
    Log("已存在系统文件：MD5值正确，无需重新下载");
    ShowCompletion("下载文件：完成");
    return true;
  }
  plat().RemoveFile(path);
  Log("已存在系统文件：MD5值不正确，文件删除");
  Log("系统下载地址：" + plan.url);
  return DownloadAndVerifySystem(plan, "文件验证错误，请重新选择下载！", "云端系统文件名称： " + plan.file_name);
}

bool BringPe(const InstallPlan& plan) {
  const Text work = WorkDir();
  const Text sd = SystemDrive();
  for (const char* dir : {"boot", "WinPE"}) {
    plat().CreateFolder(sd + dir);
    plat().SetAttributes(sd + dir, kAttrHidden);
  }
  const PeLinks& pe = plan.pe;
  const Text pe_path = work + pe.file_name;
  if (FinishedFile(pe_path)) {
    Log("工作目录内已有PE文件：" + pe.file_name);
    Status("检验PE文件完整性：" + pe_path);
    const Text digest = Digest(pe_path);
    if (Cancelled()) return false;
    Log("云端PE本地副本MD5：" + digest);
    if (digest.empty() || digest != pe.md5) {
      // Kept, it would fail every later attempt the same way.
      plat().RemoveFile(pe_path);
      FailInstall(JobFailure::kVerification, "文件下载错误，请重新选择下载！");
      return false;
    }
    Log("工作目录内PE文件MD5值检验通过：" + pe.file_name);
  } else {
    ResetPage();
    Status("下载文件：保存路径：" + pe_path);
    Log("从云端下载PE到工作目录，PE文件名称：" + pe.file_name);
    if (!dl::StartDownload(pe.url, pe.file_name, "DownTaskInfo.创建_", true)) {
      FailInstall(JobFailure::kDownload, "PE文件下载错误，请重新选择下载！");
      return false;
    }
    Status("检验PE文件完整性：" + pe_path);
    const Text digest = Digest(pe_path);
    if (Cancelled()) return false;
    Log("云端PE本地副本MD5：" + digest);
    if (digest.empty() || digest != pe.md5) {
      plat().RemoveFile(pe_path);
      FailInstall(JobFailure::kVerification, "文件下载错误，请重新选择下载！");
      return false;
    }
    Log("云端PE本地副本：MD5值检验通过");
  }
  Status("复制PE文件：保存路径：" + pe_path);
  LogResult(plat().CopyFileOver(pe_path, sd + "WinPE\\boot.wim"));
  Log("工作目录内PE文件已经安装到系统目录");
  // The copy is what boots: a failed or damaged copy must not get a boot entry.
  MoveJobState({JobState::kDownloading}, JobState::kVerifying);
  const bool in_place = VerifyInstalledPe(pe.md5);
  MoveJobState({JobState::kVerifying}, JobState::kDownloading);
  if (!in_place) {
    FailInstall(JobFailure::kVerification, kInstalledPeBadMessage);
    return false;
  }
  return true;
}

}  // namespace

int64_t SpaceNeeded(const std::vector<int64_t>& amounts) {
  int64_t need = 0;
  for (int64_t n : amounts) {
    if (n <= 0) continue;
    need = n > INT64_MAX - need ? INT64_MAX : need + n;
  }
  return need;
}

void CloudInstallJob(const InstallPlan& plan) {
  if (!BringSystemImage(plan)) return;
  ReportImageVerified();
  if (!BringPe(plan)) return;
  ReportPeVerified();
  ShowCompletion("下载文件：完成");
}

}  // namespace mv
