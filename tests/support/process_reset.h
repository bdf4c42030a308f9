// The process-wide state the program keeps, back to that of a fresh process
// before a test: the platform in use, the recorded values, the log, the job,
// the start-up and shut-down hooks and the window model's handlers.
#pragma once

#include "platform/platform.h"

namespace mv::test {

void ResetProcess(Platform* platform);

}  // namespace mv::test
