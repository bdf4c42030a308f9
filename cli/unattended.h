// An unattended job of the command line (/install, /backup-system,
// /restore): the job the window's own buttons start, run in the window so
// that whoever stands at the machine sees its progress, with nothing asked:
//
//   1. the readiness check, before the program changes anything (a failed
//      line ends the run: only the work directory's log and check tools are
//      written);
//   2. the start-up and the survey, as the window runs them;
//   3. the job: the install through the wizard's next button on the system
//      step (the catalogue link recorded as a click on it records it, a
//      local image through the open-file dialog and the image index
//      window), the backup and the restore through the backup page's
//      requests;
//   4. the restart as /restart says, and the process ended with the exit
//      code of the outcome (core/command_line.h).
//
// Every question on the way is answered by AnsweringPlatform
// (unattended_answers.h); the image index window is answered by /index.
// Progress and the outcome go to the console and the run log (core/console.h).
// Closing the window, or a cancel button, stops the job (exit code
// "cancelled").
#pragma once

#include "core/command_line.h"
#include "platform/platform.h"

namespace mv {

// Before the window exists: the answering layer over the current platform
// (made the program's platform), the restart policy, and the exit code of
// every orderly end of the program.
void PrepareUnattendedJob(const ProgramCommand& command);

// The window's created event: everything from the check to the job's start
// (window thread). The rest runs from the window's timers; the program ends
// with the outcome, or -- /restart ask after a hand-off -- with the countdown.
void RunUnattendedJob(WindowRef main_window);

// The exit code of the outcome so far.
int UnattendedExitCode();

// The outcome's words for an exit code ("已就绪", "下载失败", ...).
Text OutcomeText(int exit_code);

// Back to no unattended job, the platform given to PrepareUnattendedJob
// restored (tests).
void ResetUnattendedJob();

}  // namespace mv
