// "MV_OSR.exe /check": the readiness check from the command line, without
// the window. It fixes the work directory as the start-up does, runs the
// partition listing the check needs and the check itself, and writes the
// lines into the run log (and the console it was started from) and into
// "MV_OSR_check.txt" beside it. Nothing is changed on the machine beyond
// the work directory's own files (the log, the report, the tools the check
// runs); nothing restarts.
#pragma once

#include "platform/platform.h"

namespace mv {

extern const char kCheckReportName[];  // "MV_OSR_check.txt"

// What the check needs before it runs, done before anything else by "/check"
// and by an unattended job: the work directory chosen and made with its
// tools folder, the run log opened (its first line `first_log_line` after
// the timestamp), the boot configuration tool written there when missing,
// and the partition listing run. False when no drive can hold the work
// directory (nothing is made then).
bool PrepareReadinessCheck(const Text& first_log_line);

// The check for a cloud install (of the recorded choice, when there is
// one); the exit code: 0 when every line passed, 1 otherwise (also when no
// drive can hold the work directory).
int RunCheckCommand();

}  // namespace mv
