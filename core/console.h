// The lines a command-line job writes for whoever started it: each goes to
// the run log and, when the program has somewhere to write them (a console
// it was started from, or an output redirected to a file), there too. The
// window alone writes nothing there.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// Where the lines go besides the log (the program sets it for a
// command-line job; unset: the log only). Called from any thread, one line
// at a time.
void SetConsoleWriter(std::function<void(const Text& line)> write);

// One line: to the run log, then to the console.
void Say(const Text& line);
// A line the log already has: to the console only.
void Echo(const Text& line);

}  // namespace mv
