#include "report/report_command.h"

#include "core/command_line.h"
#include "core/console.h"
#include "core/log.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/partition_listing.h"
#include "download/engine.h"
#include "report/diagnostics.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

Text& Build() {
  static Text* build = new Text("未知");
  return *build;
}

bool WriteReport(const Text& path, const ReportSources& sources) {
  return plat().WriteWholeFile(path, {DiagnosticsFileBytes(GatherDiagnostics(sources))});
}

// The lines the window's survey shows, once it has filled them.
std::vector<Text> WindowSurveyLines() {
  std::vector<Text> lines;
  for (const char* label : names::kHardwareLabels) lines.push_back(ui::MainModel().Text(label));
  return lines.front().empty() ? std::vector<Text>() : lines;
}

}  // namespace

void SetReportBuild(const Text& build) { Build() = build; }

int RunReportCommand(const Text& path) {
  // The start-up's values, only as values: nothing is made.
  const Text wd = ChooseWorkDirectory();
  SetPeTaskFilePath(SystemDrive() + "\\WinPE\\DaVidAZ.INI");
  if (!wd.empty()) SetBcdeditPath(wd + "tools\\bcdedit.exe");
  TakePartitionListing(RunPartitionTool(false));
  const Text target = path.empty() ? DefaultReportPath() : path;
  if (!WriteReport(target, {kVersionText, Build(), {}})) {
    Echo("诊断信息无法写入：" + target);
    return kExitReportFailed;
  }
  Echo("诊断信息已写入：" + target);
  return kExitReady;
}

void InstallReportMenuItem() {
  ui::SetHandler(names::kMenuReportItem, "click", [](const std::string&) {
    const Text target = DefaultReportPath();
    const bool written = WriteReport(target, {kVersionText, Build(), WindowSurveyLines()});
    Log("导出诊断信息：" + target);
    LogResult(written);
    if (written)
      plat().ShowMessageBox("诊断信息已保存到桌面：\r\n" + target, kMbIconInformation, "提示", dl::MessageOwner());
    else
      plat().ShowMessageBox("诊断信息无法保存：\r\n" + target, kMbIconError, "错误：", dl::MessageOwner());
  });
}

}  // namespace mv
