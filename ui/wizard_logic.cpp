// The reinstall page's wizard: its steps, the next and back buttons, the
// data-backup items of step 1 and the start of the install or the data
// backup through the wizard's links.
#include "ui/wizard_logic.h"

#include <vector>

#include "boot/boot_names.h"
#include "boot/restart.h"
#include "core/job.h"
#include "core/state.h"
#include "detect/survey.h"
#include "download/engine.h"
#include "download/progress_names.h"
#include "ui/main_names.h"
#include "ui/main_window_logic.h"
#include "ui/model.h"

namespace mv::ui {

namespace {

constexpr char kStepAdvice[] =
    "建议到C盘目录下查看文件大小，根据占用的空间，可能需要很长时间备份，如无重要文档建议不要备份";
constexpr char kNoItemMessage[] = "请选择要备份的项目!";
constexpr char kCancelTasksQuestion[] = "程序正在执行任务，是否取消当前所有任务！";

WindowModel& M() { return MainModel(); }

WindowRef Owner() { return dl::MessageOwner(); }

WizardLinks Links() { return CurrentWizardLinks(); }

int Step() {
  const int step = M().Get(names::kWizard).page;
  return step < 0 ? 0 : step;
}

// The download page's components, shown while the cloud install runs and
// hidden for a data backup of its own.
void ShowDownloadProgress(bool visible) {
  for (const char* name : {dl::kDownloadPage.status, dl::kDownloadPage.progress, dl::kDownloadPage.percent,
                           dl::kDownloadPage.track, dl::kDownloadPage.fill, dl::kPauseButton,
                           dl::kCancelDownloadButton})
    M().SetVisible(name, visible);
}

bool AnyDataItem() {
  for (const char* item : names::kDataItems)
    if (M().Checked(item)) return true;
  return false;
}

// Select-all follows the three personal folders (the drivers item does not count).
void SyncSelectAll() {
  M().SetChecked(names::kDataSelectAll, M().Checked(names::kDataItems[0]) && M().Checked(names::kDataItems[1]) &&
                                            M().Checked(names::kDataItems[2]));
}

// A check box's event: the view passes the new state ("1"/"0"); without it
// the model already holds it.
void TakeCheck(const char* name, const std::string& arg) {
  if (arg == "1" || arg == "0") M().SetChecked(name, arg == "1");
}

// Back on the progress step: the running job is stopped (every worker of
// it, waited for) once the user agrees. False when the wizard stays.
bool CancelProgressStep() {
  if (AskAboutJob(kCancelTasksQuestion, kMbYesNo | kMbIconQuestion, "提示", Owner()) != kResYes) return false;
  return CancelJob();
}

void Click(const std::string& name, std::function<void()> fn) {
  SetHandler(name, "click", [fn = std::move(fn)](const std::string&) { fn(); });
}

}  // namespace

void RegisterWizardHandlers() {
  // The wizard's two buttons: navigation, or their restart roles.
  Click(names::kNextButton, [] { OnNextButtonClick(WizardNext); });
  Click(names::kBackButton, [] { OnBackButtonClick(WizardBack); });
  SetHandler(names::kRestartTimer, "timer", [](const std::string&) { RestartCountdownTick(); });

  // Step 0: the survey.
  Click(names::kDetectAgainButton, SurveyAgain);
  Click(names::kDetectProceedButton, SurveyAgain);
  Click(names::kRefreshButton, Survey);

  // Step 1: the data-backup items.
  SetHandler(names::kDataSelectAll, "check", [](const std::string& arg) {
    TakeCheck(names::kDataSelectAll, arg);
    const bool all = M().Checked(names::kDataSelectAll);
    for (const char* item : names::kDataItems) M().SetChecked(item, all);
  });
  for (const char* item : names::kDataItems)
    SetHandler(item, "check", [item](const std::string& arg) {
      TakeCheck(item, arg);
      SyncSelectAll();
    });
  Click(names::kDataBackupCancel, [] {
    if (auto cancel = Links().cancel_data_backup) cancel();
  });
}

void ShowStep() {
  const int step = Step();
  for (int i = 0; i < 5; ++i) M().SetImage(names::kStepImages[i], i == step ? 1 : 0);
}

bool DataOnlyMode() { return M().Selected(names::kDataBackupButton); }

void WizardNext() {
  const int step = Step();
  const bool data_only = DataOnlyMode();
  if (step == names::kStepDataChoice && !data_only && M().Checked(names::kDataItems[0])) {
    const std::vector<Text> captions = {"", "", "", "", "", "继续备份", "取消备份"};
    if (plat().AskWithCaptions(kStepAdvice, kMbYesNo | kMbIconInformation, "提示：", Owner(), captions) !=
        kResYes) {
      M().SetChecked(names::kDataItems[0], false);
      SyncSelectAll();
    }
  }
  if (step == names::kStepSystemChoice) {
    if (auto start = Links().start_cloud_install) {
      if (!start()) return;
    } else if (Choice().file_name.empty()) {
      plat().ShowMessageBox("程序无法继续，请您选择需要安装的系统！", kMbIconError, "错误：", Owner());
      M().SetPage(names::kWizard, names::kStepSystemChoice);
      return;
    }
  }
  if (step == names::kStepEnvironment) {
    M().SetVisible(names::kBackButton, true);
    M().SetEnabled(names::kBackButton, true);
  }
  // The last step: nothing further. On the progress step nothing is ready
  // until the job hands off (and a data backup that runs is never started
  // twice over the same files).
  if (step >= names::kStepProgress) return;
  ShowDownloadProgress(true);
  if (data_only) {
    if (!AnyDataItem()) {
      plat().ShowMessageBox(kNoItemMessage, kMbIconInformation, "提示", Owner());
      return;
    }
    if (auto start = Links().start_data_backup)
      if (!start()) return;
    M().SetPage(names::kWizard, names::kStepProgress);
    ShowDownloadProgress(false);
    // The backup's end shows it again (and returns to the choice).
    M().SetVisible(names::kNextButton, false);
  } else {
    M().SetPage(names::kWizard, step + 1);
  }
  ShowStep();
}

void WizardBack() {
  const int step = Step();
  if (step == names::kStepDataChoice) M().SetVisible(names::kBackButton, false);
  if (step == names::kStepProgress && !CancelProgressStep()) return;
  if (step == names::kStepSystemChoice) M().SetEnabled(names::kNextButton, true);
  if (step > 0) M().SetPage(names::kWizard, step - 1);
  ShowStep();
}

}  // namespace mv::ui
