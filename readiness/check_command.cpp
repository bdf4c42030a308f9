#include "readiness/check_command.h"

#include "core/console.h"
#include "core/log.h"
#include "core/payload.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/partition_listing.h"
#include "readiness/readiness.h"

namespace mv {

const char kCheckReportName[] = "MV_OSR_check.txt";

bool PrepareReadinessCheck(const Text& first_log_line) {
  const Text wd = ChooseWorkDirectory();
  if (wd.empty()) return false;
  SetPeTaskFilePath(SystemDrive() + "\\WinPE\\DaVidAZ.INI");
  plat().CreateFolder(wd.substr(0, wd.size() - 1));
  plat().CreateFolder(wd + "tools");
  if (!LogIsOpen()) OpenLog();
  Log(LogTimestampNow() + " " + first_log_line);

  // The tools the check runs, into the work directory only (the start-up
  // also writes the RAM-disk image onto the system drive: not here).
  SetBcdeditPath(wd + "tools\\bcdedit.exe");
  if (!plat().FileExists(BcdeditPath())) WritePayloadFile(kPayloadBcdedit);
  ListPartitions();
  return true;
}

int RunCheckCommand() {
  if (!PrepareReadinessCheck("check_sub")) return 1;
  const Text wd = WorkDir();
  const std::vector<ReadinessLine> lines = RunReadinessCheck(ReadinessRequest());
  const bool passed = AllPassed(lines);
  Text report = Text("安装前检查 ") + LogTimestampNow() + "\r\n";
  for (const ReadinessLine& l : lines) {
    Say("安装前检查" + ReadinessLineText(l));
    report += ReadinessLineText(l) + "\r\n";
  }
  const Text verdict = passed ? Text("结果：全部通过") : "结果：有检查未通过，不能开始安装";
  Say("安装前检查" + verdict);
  report += verdict + "\r\n";
  plat().WriteWholeFile(wd + kCheckReportName, {TextToBytes(report)});
  CloseLog();
  return passed ? 0 : 1;
}

}  // namespace mv
