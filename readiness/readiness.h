// The readiness check ("安装前检查"): everything the boot hand-off depends on,
// looked at before the first byte of an install, a system backup or a restore
// is downloaded. It changes nothing on the machine: the folders are tried
// with a probe file that is removed again, the boot configuration is only
// listed. Each line says passed or failed and why, in Chinese.
#pragma once

#include <vector>

#include "boot/readiness_gate.h"
#include "platform/platform.h"

namespace mv {

struct ReadinessLine {
  Text name;     // "管理员权限", "PE下载页", ...
  bool passed = false;
  Text reason;   // what was found, or what is wrong
};

// The lines, in this order: administrator rights; firmware mode and the
// system partition (the partition listing must have run); free space on the
// work drive for what the job will bring there; the boot configuration tool
// found, real and reading the store (on XP/2003 instead: the chain files);
// the RAM-disk image; the work directory and the system drive's \WinPE and
// \boot writable; the PE page reachable with a file name and an MD5.
std::vector<ReadinessLine> RunReadinessCheck(const ReadinessRequest& request);

bool AllPassed(const std::vector<ReadinessLine>& lines);
// "[通过] 管理员权限：已获得管理员权限" and so on.
Text ReadinessLineText(const ReadinessLine& line);
// The failed lines, one "名称：原因" a line.
Text FailedLinesText(const std::vector<ReadinessLine>& lines);

// Tries a folder (or, while it does not exist yet, the nearest folder above
// it) with a probe file that is written and removed again. True when both
// worked and nothing is left.
bool FolderWritable(const Text& folder);

}  // namespace mv
