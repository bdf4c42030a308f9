#include "readiness/check_command.h"

#include "core/log.h"
#include "core/payload.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/text.h"
#include "detect/partition_listing.h"
#include "readiness/readiness.h"

namespace mv {

const char kCheckReportName[] = "MV_OSR_check.txt";

int RunCheckCommand() {
  const Text wd = ChooseWorkDirectory();
  if (wd.empty()) return 1;
  SetPeTaskFilePath(SystemDrive() + "\\WinPE\\DaVidAZ.INI");
  plat().CreateFolder(wd.substr(0, wd.size() - 1));
  plat().CreateFolder(wd + "tools");
  OpenLog();
  Log(LogTimestampNow() + " check_sub");

  // The tools the check runs, into the work directory only (the start-up
  // also writes the RAM-disk image onto the system drive: not here).
  SetBcdeditPath(wd + "tools\\bcdedit.exe");
  if (!plat().FileExists(BcdeditPath())) WritePayloadFile(kPayloadBcdedit);
  ListPartitions();

  const std::vector<ReadinessLine> lines = RunReadinessCheck(ReadinessRequest());
  const bool passed = AllPassed(lines);
  Text report = Text("安装前检查 ") + LogTimestampNow() + "\r\n";
  for (const ReadinessLine& l : lines) {
    Log("安装前检查" + ReadinessLineText(l));
    report += ReadinessLineText(l) + "\r\n";
  }
  const Text verdict = passed ? Text("结果：全部通过") : "结果：有检查未通过，不能开始安装";
  Log("安装前检查" + verdict);
  report += verdict + "\r\n";
  plat().WriteWholeFile(wd + kCheckReportName, {TextToBytes(report)});
  CloseLog();
  return passed ? 0 : 1;
}

}  // namespace mv
