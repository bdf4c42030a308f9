// The attrib runs of the hand-off.
#pragma once

#include "platform/platform.h"

namespace mv {

// Runs "attrib " + flags + " " + path through the command interpreter (flags
// such as "+s +h" or "-s -r -h"), then makes sure the file carries what the
// flags ask for: some systems' attrib (Wine's) applies only the last flag of
// a command, and the markers and boot files must end up hidden all the same.
void RunAttrib(const char* flags, const Text& path);

}  // namespace mv
