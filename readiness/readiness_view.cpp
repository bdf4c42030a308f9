#include "readiness/readiness_view.h"

#include <string>

#include "core/log.h"
#include "readiness/readiness_names.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

bool g_checking = false;  // window thread only: the check pumps window events

ui::WindowModel& M() { return ui::MainModel(); }

const char* JobWords(ReadinessJob job) {
  switch (job) {
    case ReadinessJob::kBackup:
      return "备份系统";
    case ReadinessJob::kRestore:
      return "还原系统";
    default:
      return "安装系统";
  }
}

void Show(const std::vector<ReadinessLine>& lines) {
  M().ClearRows(names::kReadinessList);
  int failed = 0;
  for (const ReadinessLine& l : lines) {
    M().AddRow(names::kReadinessList, {l.name, l.passed ? "√ 通过" : "× 未通过", l.reason});
    if (!l.passed) ++failed;
  }
  M().Update(names::kReadinessList, [](ui::Component& c) {
    c.selected_row = -1;
    c.scroll = 0;
    c.visible = true;
  });
  M().SetText(names::kDetectStatusLabel, failed == 0 ? Text("安装前检查：全部通过。")
                                                     : "安装前检查：" + std::to_string(failed) +
                                                           " 项未通过，处理后才能开始安装。");
}

}  // namespace

std::vector<ReadinessLine> CheckAndShow(const ReadinessRequest& request) {
  g_checking = true;
  M().SetEnabled(names::kReadinessButton, false);
  M().SetText(names::kDetectStatusLabel, "正在进行安装前检查.....");
  plat().ProcessPendingEvents();
  Log("安装前检查");
  const std::vector<ReadinessLine> lines = RunReadinessCheck(request);
  for (const ReadinessLine& l : lines) Log("安装前检查" + ReadinessLineText(l));
  Show(lines);
  M().SetEnabled(names::kReadinessButton, true);
  g_checking = false;
  return lines;
}

bool ReadinessGateWithMessage(const ReadinessRequest& request) {
  if (g_checking) return false;
  const std::vector<ReadinessLine> lines = CheckAndShow(request);
  if (AllPassed(lines)) return true;
  Log(Text("安装前检查未通过，不开始") + JobWords(request.job));
  plat().ShowMessageBox(Text("安装前检查未通过，无法开始") + JobWords(request.job) + "：\r\n\r\n" +
                            FailedLinesText(lines) +
                            "\r\n请处理以上问题后再试。在“环境检测”一步点击“安装前检查”可查看全部检查结果。",
                        kMbIconError, "错误：", plat().FirstVisibleOwnWindow());
  return false;
}

void InstallReadinessCheck() {
  ui::SetHandler(names::kReadinessButton, "click", [](const std::string&) {
    // Not while the survey holds the window thread, nor twice at once.
    if (g_checking || M().Get(names::kDetectBusyIndicator).visible) return;
    CheckAndShow(ReadinessRequest());
  });
  SetReadinessGate(ReadinessGateWithMessage);
}

}  // namespace mv
