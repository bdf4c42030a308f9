// The program's command line. Without arguments it opens its window; an
// option asks for one job without the wizard (repair shops run these):
// "/check" runs the readiness check and ends with its verdict as the exit
// code. Options start with "/" or "-" and are matched without case.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

struct ProgramCommand {
  enum Mode { kWindow, kCheck, kUnknown } mode = kWindow;
  Text argument;  // kUnknown: the argument that was not understood
};

// The arguments after the program's own name.
ProgramCommand ParseProgramArguments(const std::vector<Text>& args);

// "/check" and what else the program understands, for the message on an
// unknown argument.
extern const char kProgramUsage[];

}  // namespace mv
