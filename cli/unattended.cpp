#include "cli/unattended.h"

#include <cstdlib>
#include <memory>

#include "backup/requests.h"
#include "backup/wim_info.h"
#include "boot/boot_names.h"
#include "boot/readiness_gate.h"
#include "boot/restart.h"
#include "cli/unattended_answers.h"
#include "core/console.h"
#include "core/job.h"
#include "core/log.h"
#include "core/startup.h"
#include "core/window_names.h"
#include "core/state.h"
#include "download/progress_names.h"
#include "readiness/check_command.h"
#include "readiness/readiness_view.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/main_window_logic.h"
#include "ui/model.h"

namespace mv {
namespace {

// The run's own timer: progress to the console, and the outcome once the
// job has ended.
constexpr char kUnattendedTimer[] = "时钟_无人值守";
constexpr uint32_t kTickMs = 500;

struct Run {
  ProgramCommand command;
  Platform* inner = nullptr;
  std::unique_ptr<AnsweringPlatform> answers;
  int finished = -1;       // the exit code once the run has ended itself
  bool refused = false;    // the check (or the image index) said no before the job began
  bool in_request = false; // a backup or restore request runs (it holds the window thread)
  Text status;             // the progress status line last said
  int decile = -1;         // the tenth of it last said
  Text data_step;          // the data backup's step last said
};

Run& R() {
  static Run* r = new Run;
  return *r;
}

ui::WindowModel& M() { return ui::MainModel(); }

bool StartsWith(const Text& text, const Text& start) { return text.compare(0, start.size(), start) == 0; }

int FailureCode(JobFailure why) {
  switch (why) {
    case JobFailure::kVerification:
      return kExitVerifyFailed;
    case JobFailure::kHandOff:
      return kExitHandOffFailed;
    default:
      return kExitDownloadFailed;
  }
}

// The outcome so far; without_job: what it is when no job has begun.
int Outcome(int without_job) {
  const Run& r = R();
  if (r.finished >= 0) return r.finished;
  if (RestartRequested()) return kExitReady;
  if (r.answers && r.answers->StoppedAtTheMachine()) return kExitCancelled;
  if (r.refused) return kExitCheckFailed;
  switch (CurrentJobState()) {
    case JobState::kCountingDown:
      return kExitReady;
    case JobState::kFailed:
      return FailureCode(CurrentJobFailure());
    case JobState::kCancelled:  // not stopped at the machine: the job would have risked the data
    case JobState::kHandingOff:  // the program ended inside the hand-off (a file was gone)
      return kExitHandOffFailed;
    case JobState::kIdle:
    case JobState::kDone:
      return without_job;
    default:
      return kExitDownloadFailed;  // ended while the files were on their way
  }
}

[[noreturn]] void Finish(int code) {
  R().finished = code;
  Say("结果：" + OutcomeText(code) + "（退出码 " + std::to_string(code) + "）");
  ShutDown();
}

// Progress: the status line whenever it changes, its percent every tenth.
void SayProgress() {
  const dl::ProgressArea& area = R().command.mode == ProgramCommand::kInstall ? dl::kDownloadPage : dl::kPeArea;
  Run& r = R();
  const Text status = M().Text(area.status);
  if (!status.empty() && status != r.status) {
    Say(status);
    r.status = status;
    r.decile = 0;
  }
  const int percent = std::atoi(M().Text(area.percent).c_str());
  if (percent / 10 > r.decile && percent > 0 && percent <= 100) {
    r.decile = percent / 10;
    Say("  " + std::to_string(percent) + "%  " + M().Text(area.progress));
  }
  const Text step = M().Text(names::kDataBackupStep);
  if (!step.empty() && step != r.data_step) {
    Say(step);
    r.data_step = step;
  }
}

void Tick() {
  SayProgress();
  if (R().in_request || JobRunning()) return;
  M().SetTimer(kUnattendedTimer, 0);
  if (CurrentJobState() == JobState::kCountingDown && R().command.restart == RestartChoice::kAsk) {
    // The person at the machine may restart now or later, as in the wizard.
    R().answers->SetAnswering(false);
    Say("已就绪：PE任务文件和启动项已写入，倒计时结束后自动重启（窗口中可立即重启或稍候重启）");
    return;
  }
  Finish(Outcome(kExitHandOffFailed));
}

// The image index window of a local WIM/ESD image: the image /index names;
// without it the only one the file holds. Several images and no /index is
// refused: an edition picked by guess would be installed in full.
void AnswerIndexWindow(WindowRef owner) {
  OnImageIndexWindowCreated(owner);
  const std::vector<std::vector<std::string>> rows = IndexWindowModel().Get(names::kIndexList).rows;
  int index = R().command.index;
  if (!rows.empty() && index == 0 && rows.size() > 1) {
    Text list;
    for (size_t i = 0; i < rows.size(); ++i)
      list += "\r\n  " + std::to_string(i + 1) + "  " + (rows[i].size() > 1 ? rows[i][1] : Text());
    Say("镜像中有 " + std::to_string(rows.size()) + " 个映像，请用 /index N 指定要安装哪一个：" + list);
    index = -1;
  } else if (index == 0) {
    index = 1;
  }
  if (rows.empty() || index < 1 || static_cast<size_t>(index) > rows.size()) {
    if (!rows.empty() && index > 0)
      Say("镜像中只有 " + std::to_string(rows.size()) + " 个映像，没有序号 " + std::to_string(index));
    R().refused = true;
    ui::Fire(names::kIndexCancel, "click");
    return;
  }
  IndexWindowModel().Update(names::kIndexList, [index](ui::Component& c) { c.value = index - 1; });
  Say("映像序号 " + std::to_string(index) + "：" + (rows[index - 1].size() > 1 ? rows[index - 1][1] : Text()));
  ui::Fire(names::kIndexOk, "click");
}

// What the check looks at for this job (the catalogue image's size is
// counted once its link is recorded).
ReadinessRequest CheckRequest() {
  const ProgramCommand& c = R().command;
  ReadinessRequest request;
  if (c.mode == ProgramCommand::kBackupSystem) request.job = ReadinessJob::kBackup;
  if (c.mode == ProgramCommand::kRestore) {
    request.job = ReadinessJob::kRestore;
    request.image_path = c.source;
  }
  return request;
}

void StartInstall() {
  const ProgramCommand& c = R().command;
  if (!c.catalogue && !ChooseLocalImage()) {
    Say("本地镜像未能选定：" + c.source);
    Finish(R().refused ? kExitCheckFailed : kExitBadArguments);
  }
  Say("安装：" + (Choice().system_name.empty() ? Choice().file_name : Choice().system_name));
  const bool items[4] = {c.backup.documents, c.backup.favorites, c.backup.desktop, c.backup.drivers};
  for (int i = 0; i < 4; ++i) M().SetChecked(names::kDataItems[i], items[i]);
  M().SetPage(names::kPageHost, names::kPageReinstall);
  M().SetPage(names::kWizard, names::kStepSystemChoice);
  // The wizard's own next button on the system step starts the install.
  ui::Fire(names::kNextButton, "click");
  if (!JobRunning()) {
    Say("安装没有开始");
    Finish(kExitCheckFailed);
  }
  M().SetTimer(kUnattendedTimer, kTickMs);
}

// A backup or restore request holds the window thread until it has handed
// off (or not); the timer says its progress meanwhile.
void RunRequest() {
  const ProgramCommand& c = R().command;
  M().SetTimer(kUnattendedTimer, kTickMs);
  R().in_request = true;
  if (c.mode == ProgramCommand::kBackupSystem) {
    ui::ShowBackupPage();
    RequestSystemBackup();
  } else {
    ui::ShowBackupPage();
    RestoreImage(c.source);
  }
  R().in_request = false;
  M().SetTimer(kUnattendedTimer, 0);
  SayProgress();
  Finish(Outcome(kExitHandOffFailed));
}

Text JobWords(const ProgramCommand& c) {
  switch (c.mode) {
    case ProgramCommand::kInstall:
      return "无人值守安装：" + c.source;
    case ProgramCommand::kBackupSystem:
      return "无人值守备份系统：" + c.name;
    default:
      return "无人值守还原：" + c.source;
  }
}

}  // namespace

Text OutcomeText(int exit_code) {
  switch (exit_code) {
    case kExitReady:
      return RestartRequested() ? "已就绪，正在重启" : "已就绪，PE任务文件和启动项已写入，未重启";
    case kExitCheckFailed:
      return "检查未通过，没有开始";
    case kExitBadArguments:
      return "参数错误";
    case kExitDownloadFailed:
      return "下载失败";
    case kExitVerifyFailed:
      return "校验失败";
    case kExitHandOffFailed:
      return "没有交给PE：任务文件或启动项未写入";
    case kExitCancelled:
      return "已取消";
    default:
      return "失败";
  }
}

void PrepareUnattendedJob(const ProgramCommand& command) {
  Run& r = R();
  r.command = command;
  r.inner = &plat();
  UnattendedPolicy policy;
  // The command itself is the confirmation the requests ask for.
  policy.yes = {kBackupQuestionStart, kRestoreQuestionStart, kRestoreImageQuestionStart};
  // Every question about the running job is a cancel button's or the close
  // request's; closing the window while idle asks the exit question.
  policy.stop = [](const Text& question) { return JobQuestionOpen() || StartsWith(question, ui::kExitQuestion); };
  policy.text = command.name;
  if (command.mode == ProgramCommand::kInstall && !command.catalogue) policy.file = command.source;
  r.answers = std::make_unique<AnsweringPlatform>(plat(), policy);
  SetPlatform(r.answers.get());
  SetRestartPolicy(command.restart == RestartChoice::kNow  ? RestartPolicy::kAtOnce
                   : command.restart == RestartChoice::kNo ? RestartPolicy::kNever
                                                           : RestartPolicy::kCountdown);
  SetShutDownExitCode([] { return Outcome(kExitDownloadFailed); });
}

void RunUnattendedJob(WindowRef main_window) {
  const ProgramCommand& c = R().command;
  ui::SetHandler(kUnattendedTimer, "timer", [](const std::string&) { Tick(); });
  // What the window would ask goes to the run's answers.
  SetReadinessGate([](const ReadinessRequest& request) {
    const bool passed = ReadinessGateWithMessage(request);
    if (!passed) R().refused = true;
    return passed;
  });
  SetIndexWindowRunner(AnswerIndexWindow);
  M().SetText(names::kTitleLabel, kCaptionText);
  M().SetText(names::kVersionLabel, kVersionText);

  // 1. The check, before anything else is written.
  if (!PrepareReadinessCheck("unattended_sub")) {
    Say("没有可用的工作盘（需要一个可写的固定磁盘）");
    Finish(kExitCheckFailed);
  }
  Say(JobWords(c));
  if (c.mode == ProgramCommand::kInstall && c.catalogue) OnCatalogueNavigate(c.source);
  const std::vector<ReadinessLine> lines = CheckAndShow(CheckRequest());
  for (const ReadinessLine& l : lines) Echo("安装前检查" + ReadinessLineText(l));
  if (!AllPassed(lines)) Finish(kExitCheckFailed);

  // 2. The start-up and the survey of the window.
  StartUp(main_window);
  ui::OnStartUpFinished();
  for (const char* label : names::kHardwareLabels) Echo(M().Text(label));

  // 3. The job.
  if (c.mode == ProgramCommand::kInstall)
    StartInstall();
  else
    RunRequest();
}

int UnattendedExitCode() { return Outcome(kExitDownloadFailed); }

void ResetUnattendedJob() {
  Run& r = R();
  if (r.inner) SetPlatform(r.inner);
  r = Run();
  SetShutDownExitCode({});
  SetRestartPolicy(RestartPolicy::kCountdown);
  ui::SetHandler(kUnattendedTimer, "timer", nullptr);
}

}  // namespace mv
