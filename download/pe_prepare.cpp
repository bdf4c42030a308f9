#include "download/pe_prepare.h"

#include <cstdlib>

#include "boot/boot_entries.h"
#include "boot/restart.h"
#include "core/job.h"
#include "core/log.h"
#include "core/service_host.h"
#include "core/state.h"
#include "core/text.h"
#include "download/file_md5.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "platform/sync.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

const char kPeLookupMessage[] = "程序无法继续，获取安装系统（PE）错误 请前往官网下载最新版！";
const char kInstalledPeBadMessage[] = "WinPE文件校验错误，请稍后再试！";

namespace {

// The download engine keeps this file beside a download until it is complete.
constexpr char kEngineControlSuffix[] = ".dlctl";

Mutex g_mu;
PeLinks g_pe;
Text g_restore_image;
std::atomic<int> g_download_started{0};

void Error(const Text& text, WindowRef owner) { plat().ShowMessageBox(text, kMbIconError, "错误：", owner); }

void ShowPeZero(int percent) {
  ui::WindowModel& m = ui::MainModel();
  m.SetText(dl::kPeArea.progress, dl::kZeroProgressLine);
  dl::ShowPercent(dl::kPeArea, percent);
  if (percent == 0) m.SetWidth(dl::kPeArea.fill, 1);
}

Text FileNameOf(const Text& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

// The digest of a PE file this preparation is about to trust.
Text Digest(const Text& path) {
  MoveJobState({JobState::kDownloading}, JobState::kVerifying);
  const Text digest = dl::DownloadedFileMd5(path, dl::ShowHashProgress);
  MoveJobState({JobState::kVerifying}, JobState::kDownloading);
  return digest;
}

bool IsMd5Text(const Text& text) {
  if (text.size() != 32) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

PeLinks& Pe() { return g_pe; }

bool FinishedFile(const Text& path) {
  return plat().FileExists(path) && !plat().FileExists(path + kEngineControlSuffix);
}

Text PePageAddress() {
  const Text version = plat().FileVersionText(SystemDrive() + "\\Windows\\System32\\cmd.exe");
  const double v = std::strtod(version.substr(0, 3).c_str(), nullptr);
  // A 64-bit PE only for a processor that can run it (long mode).
  return service::PePageUrl(v - 6.1 >= -0.0000001 && plat().ProcessorHasLongMode());
}

PeLinks ParsePePage(const Text& page) {
  PeLinks out;
  const Text link = TextBetween(page, service::kPeLinkStart, service::kValueEnd, 1, false);
  if (!link.empty()) out.url = service::kPeLinkStart + link;
  out.file_name = TextBetween(page, service::kPeFileName, service::kValueEnd, 1, false);
  out.md5 = TextBetween(page, service::kPeMd5, service::kValueEnd, 1, false);
  return out;
}

bool FetchPeLinks(const Text& log_prefix) {
  const Bytes body = plat().FetchUrl(PePageAddress());
  const Text page(body.begin(), body.end());
  Log(log_prefix + page);
  PeLinks pe = ParsePePage(page);
  // The file name becomes a path in the work directory: one that would
  // leave it is as good as none. Without a digest nothing could show that
  // the PE that arrives is the one meant, and the machine would boot it.
  const bool usable = !pe.url.empty() && SafeWorkFileName(pe.file_name) && IsMd5Text(pe.md5);
  if (!usable) pe = PeLinks();
  g_pe = pe;
  return usable;
}

void PeLookupFatal() {
  Error(kPeLookupMessage, dl::MessageOwner());
  ui::MainModel().SetPage(names::kWizard, names::kStepSystemChoice);
  plat().ShellOpen(service::MakerHomePage());
  ShutDown();
}

void SetRestoreImagePath(const Text& path) {
  LockGuard g(g_mu);
  g_restore_image = path;
}
const Text& RestoreImagePath() { return g_restore_image; }

int PeDownloadStarted() { return g_download_started; }

bool ShowCopyProgress(uint64_t total, uint64_t copied) {
  // An empty file is copied as soon as it starts.
  const int percent = total == 0 ? 100 : static_cast<int>(copied * 100 / total);
  dl::ShowPercent(dl::kPeArea, percent);
  plat().ProcessPendingEvents();
  return CurrentJobState() != JobState::kCancelled;
}

bool VerifyInstalledPe(const Text& expected) {
  const Text boot_wim = SystemDrive() + "WinPE\\boot.wim";
  ui::MainModel().SetText(dl::CurrentArea().status, "检验WinPE文件完整性：" + boot_wim);
  const Text digest = Digest(boot_wim);
  Log("WinPE文件MD5：" + digest);
  if (!digest.empty() && digest == expected) return true;
  if (!plat().Checkpoint() || CurrentJobState() == JobState::kCancelled) return false;  // cancelled: not a bad file
  Log("WinPE文件MD5值不正确，已删除，不写入启动项");
  plat().RemoveFile(boot_wim);
  return false;
}

void CancelPeDownload() {
  if (AskAboutJob("程序正在下载组件，是否取消？", kMbYesNo | kMbIconQuestion, "提示", dl::MessageOwner()) != kResYes)
    return;
  CancelJob();
}

namespace {

bool Cancelled() { return CurrentJobState() == JobState::kCancelled; }

// Why this preparation could not be done (window thread only).
JobFailure g_failure = JobFailure::kNone;

// A failure told to the user, and remembered for the job's end.
void Fail(JobFailure why, const Text& text, WindowRef owner) {
  g_failure = why;
  Error(text, owner);
}

// A restore image on a drive that can be written to is copied into the
// work directory first (the PE finds it there). False when it had to be
// copied and could not be.
bool CopyRestoreImage(const Text& work) {
  const Text restore = RestoreImagePath();
  if (restore.empty() || !plat().WriteWholeFile(restore.substr(0, 1) + ":\\temp.temp", {})) return true;
  ui::WindowModel& m = ui::MainModel();
  const Text name = FileNameOf(restore);
  m.SetText(dl::kPeArea.status, "复制镜像文件到工作目录：保存路径：" + work + name);
  Log("copyfile= " + restore);
  // An image already in the work directory is not copied onto itself.
  if (UpperAscii(restore) != UpperAscii(work + name)) {
    plat().SetAttributes(work + name, kAttrArchive);
    if (!plat().CopyFileWithProgress(restore, work + name, ShowCopyProgress)) {
      if (Cancelled()) return false;
      Log("copyfile=false");
      // The PE would look for an image that is not there.
      Fail(JobFailure::kDownload, "文件复制错误，请重新选择文件！", 0);
      return false;
    }
  }
  Log("copyfile=turn");
  m.SetText(dl::kPeArea.status, "复制文件：完成");
  SetRestoreImagePath(work + name);
  return true;
}

// The PE of this preparation in the work directory, checked against the
// page's digest: taken from there, else downloaded. A file there that does
// not match is removed and downloaded again. False when it could not be
// had (told to the user) or the user cancelled.
bool BringPeFile(const PeLinks& pe, const Text& pe_file) {
  ui::WindowModel& m = ui::MainModel();
  if (FinishedFile(pe_file)) {
    m.SetText(dl::kPeArea.status, "检验PE文件完整性：" + pe_file);
    const Text digest = Digest(pe_file);
    if (Cancelled()) return false;
    Log("工作目录内PE文件MD5：" + digest);
    if (digest == pe.md5) return true;
    Log("工作目录内PE文件MD5值不正确，删除后重新下载");
    plat().RemoveFile(pe_file);
  }
  ShowPeZero(0);
  m.SetText(dl::kPeArea.status, "下载文件：保存路径：" + pe_file);
  Log("DownloadFiles:" + pe.url);
  dl::ClearTaskList();
  g_download_started = 1;
  const bool ok = dl::StartDownload(pe.url, pe.file_name, "XL_StartTask_", false);
  if (!ok) {
    if (g_download_started == 1 && !Cancelled()) {
      Log("Download Error");
      Fail(JobFailure::kDownload, "文件下载错误，请稍后再试！", dl::MessageOwner());
      dl::StopAndDeleteAllTasks();
    }
    g_download_started = 0;
    return false;
  }
  g_download_started = 0;
  m.SetText(dl::kPeArea.status, "检验PE文件完整性：" + pe_file);
  const Text digest = Digest(pe_file);
  if (Cancelled()) return false;
  Log("云端PE本地副本MD5：" + digest);
  if (digest == pe.md5) return true;
  plat().RemoveFile(pe_file);
  Fail(JobFailure::kVerification, kInstalledPeBadMessage, dl::MessageOwner());
  return false;
}

// Everything before the boot entries: the restore image, the PE in place
// and checked. False when the preparation ends here.
bool BringPeInPlace(const PeLinks& pe) {
  const Text work = WorkDir();
  const Text sd = SystemDrive();
  if (!CopyRestoreImage(work)) return false;
  for (const char* dir : {"WinPE", "boot"}) {
    plat().CreateFolder(sd + dir);
    plat().SetAttributes(sd + dir, kAttrHidden);
  }
  dl::SetProgressView(dl::ProgressView::kPeArea);
  const Text pe_file = work + pe.file_name;
  if (!BringPeFile(pe, pe_file)) return false;
  Log("CopyFile_BOOT.WIM");
  ui::MainModel().SetText(dl::kPeArea.status, "复制文件：保存路径：" + pe_file);
  if (!plat().CopyFileWithProgress(pe_file, sd + "WinPE\\boot.wim", ShowCopyProgress)) {
    if (!Cancelled()) Fail(JobFailure::kDownload, "WinPE复制错误，请稍后再试！", dl::MessageOwner());
    return false;
  }
  if (!VerifyInstalledPe(pe.md5)) {
    if (Cancelled()) return false;
    // A work copy that gave a wrong PE must not be taken again next time.
    plat().RemoveFile(pe_file);
    Fail(JobFailure::kVerification, kInstalledPeBadMessage, dl::MessageOwner());
    return false;
  }
  return true;
}

}  // namespace

void PrepareBackupRestorePe() {
  Log("备份还原下载PE");
  g_pe.url.clear();
  g_pe.file_name.clear();
  if (!FetchPeLinks("DownloadLink_PE:")) PeLookupFatal();

  JobHooks hooks;
  hooks.stop = [] {
    g_download_started = 0;
    dl::EndWaits();
    dl::StopAndDeleteAllTasks();
  };
  hooks.cancelled = [] { ui::MainModel().SetEnabled(names::kHelpButton, true); };
  if (!BeginJob(JobKind::kPePreparation, hooks)) return;
  const PeLinks pe = g_pe;  // this preparation's own copy
  g_failure = JobFailure::kNone;
  if (!BringPeInPlace(pe)) {
    if (!Cancelled()) EndJob(JobState::kFailed, g_failure);
    return;
  }
  if (!MoveJobState({JobState::kDownloading, JobState::kVerifying}, JobState::kHandingOff)) return;
  g_pe.url.clear();
  ShowPeZero(100);
  ui::MainModel().SetText(dl::kPeArea.status, "下载文件：完成");
  Log("备份还原下载PE结束");
  if (!PrepareBootEntries()) {
    EndJob(JobState::kFailed, JobFailure::kHandOff);
    return;
  }
  EndJob(JobState::kCountingDown);
  FinishRequestWithRestart();
}

}  // namespace mv
