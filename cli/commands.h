// The command line's jobs that need no window, and the look at an
// unattended job's arguments before anything on the machine is touched.
#pragma once

#include "core/command_line.h"

namespace mv {

// What is wrong with the arguments that only the machine can tell (an
// image that is not there, a link or a file name the work directory cannot
// take); empty when nothing is. Reads only.
Text CommandProblem(const ProgramCommand& command);

// Runs a command that needs no window -- bad arguments (the usage, told to
// the console or, without one, in a box), "/check", "/install ... /check",
// "/report" -- and returns its exit code. -1: the command is the window's
// (none given) or an unattended job, whose arguments are fine.
int RunCommandWithoutWindow(const ProgramCommand& command, bool console);

}  // namespace mv
