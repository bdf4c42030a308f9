#include "boot/restart.h"

#include <string>

#include "boot/boot_names.h"
#include "boot/handoff_check.h"
#include "core/log.h"
#include "download/tasks.h"
#include "platform/platform.h"
#include "ui/model.h"

namespace mv {
namespace {

int g_seconds = 0;
bool g_restart_requested = false;
RestartPolicy g_policy = RestartPolicy::kCountdown;

// What the status label says when the machine is left ready without a restart.
constexpr char kReadyNoRestart[] = "所有设置已经就绪，重启后将自动安装系统\r\n按设置不自动重启";

ui::WindowModel& M() { return ui::MainModel(); }

void SetImages(const char* name, const char* const (&images)[3]) {
  M().Update(name, [&](ui::Component& c) { c.images.assign(images, images + 3); });
}

// Shows the status label with a text and gets it drawn before a blocking wait.
void ShowStatus(const std::string& text) {
  M().SetVisible(names::kRestartStatusLabel, true);
  M().SetText(names::kRestartStatusLabel, text);
  plat().ProcessPendingEvents();
}

[[noreturn]] void RestartAndEnd() {
  Restart();
  ShutDown();
}

void RestartNow() {
  const int answer = plat().ShowMessageBox("重启后将自动安装系统，请妥善处理您当前的操作，是否要立即重启？",
                                           kMbYesNo | kMbIconQuestion, "是否立即重启？",
                                           plat().FirstVisibleOwnWindow());
  if (answer != kResYes) return;
  M().SetTimer(names::kRestartTimer, 0);
  ShowStatus("重启后自动启动PE系统\r\n所有过程自动完成，请勿进行任何操作");
  dl::SetBusyFlag(0);
  plat().Sleep(1000);
  RestartAndEnd();
}

void RestartLater() {
  const int answer =
      plat().ShowMessageBox("所有设置已经就绪，重启后将自动安装系统，如果您有未完成的工作，您可以稍候重启。",
                            kMbYesNo | kMbIconQuestion, "是否稍候重启？", plat().FirstVisibleOwnWindow());
  if (answer != kResYes) return;
  M().SetTimer(names::kRestartTimer, 0);
  ShowStatus("所有设置已经就绪，重启后将自动安装系统\r\n请妥善处理您的准备工作后，单击立即重启");
  dl::SetBusyFlag(0);
}

}  // namespace

void Restart() {
  g_restart_requested = true;
  plat().Restart();
}

bool RestartRequested() { return g_restart_requested; }

void SetRestartPolicy(RestartPolicy policy) { g_policy = policy; }

// After a refused hand-off the machine must not restart: nothing points at
// the PE, and a restart would only pretend the install was set going.
static bool RefusedHandOff() {
  if (!HandOffRefused()) return false;
  Log("重启已取消：PE启动项没有添加");
  dl::SetBusyFlag(0);
  return true;
}

void StartRestartCountdown() {
  if (RefusedHandOff()) return;
  for (const char* step : names::kStepImages)
    M().Update(step, [](ui::Component& c) { c.images.assign(1, names::kStepDoneImage); });
  SetImages(names::kNextButton, names::kRestartNowImages);
  M().SetRole(names::kNextButton, names::kRoleRestartNow);
  SetImages(names::kBackButton, names::kRestartLaterImages);
  M().SetRole(names::kBackButton, names::kRoleRestartLater);
  if (g_policy == RestartPolicy::kAtOnce) {
    Log("按设置立即重启");
    ShowStatus("重启后自动启动PE系统\r\n所有过程自动完成，请勿进行任何操作");
    dl::SetBusyFlag(0);
    RestartAndEnd();
  }
  if (g_policy == RestartPolicy::kNever) {
    Log("按设置不重启，PE启动项已就绪");
    ShowStatus(kReadyNoRestart);
    dl::SetBusyFlag(0);
    return;
  }
  M().SetVisible(names::kRestartStatusLabel, true);
  g_seconds = 99;
  M().SetTimer(names::kRestartTimer, 1000);
}

void RestartCountdownTick() {
  // A tick already queued when the timer was stopped changes nothing.
  if (M().Get(names::kRestartTimer).timer_ms == 0) return;
  --g_seconds;
  M().SetText(names::kRestartStatusLabel, "所有准备工作已经就绪，" + std::to_string(g_seconds) +
                                               "秒后将自动重启\r\n进入还原阶段，或单击右下角按钮手动操作");
  if (g_seconds > 0) return;
  M().SetTimer(names::kRestartTimer, 0);
  ShowStatus("倒计时完毕，重启后自动启动PE系统\r\n所有过程自动完成，请勿进行任何操作");
  plat().Sleep(1000);
  dl::SetBusyFlag(0);
  RestartAndEnd();
}

int RestartCountdownSeconds() { return g_seconds; }

void OnNextButtonClick(const std::function<void()>& navigate) {
  if (M().Get(names::kNextButton).role == names::kRoleRestartNow)
    RestartNow();
  else if (navigate)
    navigate();
}

void OnBackButtonClick(const std::function<void()>& navigate) {
  if (M().Get(names::kBackButton).role == names::kRoleRestartLater)
    RestartLater();
  else if (navigate)
    navigate();
}

void FinishRequestWithRestart() {
  if (RefusedHandOff()) return;
  if (g_policy == RestartPolicy::kNever) {
    Log("按设置不重启，PE启动项已就绪");
    dl::SetBusyFlag(0);
    return;
  }
  if (g_policy == RestartPolicy::kAtOnce) {
    dl::SetBusyFlag(0);
    RestartAndEnd();
  }
  M().SetVisible(names::kRestartNotice, true);
  plat().ProcessPendingEvents();
  plat().Sleep(10000);
  dl::SetBusyFlag(0);
  RestartAndEnd();
}

void ResetRestartState() {
  ResetHandOffRefusal();
  g_seconds = 0;
  g_restart_requested = false;
  g_policy = RestartPolicy::kCountdown;
  M().SetTimer(names::kRestartTimer, 0);
  M().SetVisible(names::kRestartStatusLabel, false);
  M().SetVisible(names::kRestartNotice, false);
  M().SetRole(names::kNextButton, "");
  M().SetRole(names::kBackButton, "");
}

}  // namespace mv
