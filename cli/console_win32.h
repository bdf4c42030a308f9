// Where a command-line job's lines go on Windows. The program is a window
// program: it has no console of its own. Started from a console (cmd, a
// batch file) it attaches to that one and writes there, as wide text;
// started with its output redirected (to a file or a pipe) it writes there,
// as GBK bytes with CR LF, like the run log.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// The writer, or an empty function when there is nowhere to write.
std::function<void(const Text& line)> OpenConsoleWriter();

}  // namespace mv
