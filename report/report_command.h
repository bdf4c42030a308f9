// The diagnostics file from the command line ("/report [file]") and from
// the title menu's "导出诊断信息".
#pragma once

#include "platform/platform.h"

namespace mv {

// The build's description for the file (the program sets it: file version,
// bitness, compiler, date).
void SetReportBuild(const Text& build);

// "/report": without the window and without changing anything but the file
// itself -- no work directory is made, no log line written, no tool file
// written (the partition listing runs only when the work directory holds
// the carried tool already); the readiness check's folder probes are
// written and removed again. `path` empty: on the desktop. The exit code:
// 0 written, kExitReportFailed not.
int RunReportCommand(const Text& path);

// The title menu's item: the window's survey lines, the file on the
// desktop, a box saying where (window thread).
void InstallReportMenuItem();

}  // namespace mv
