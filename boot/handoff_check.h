// The check before the boot hand-off touches the machine's boot configuration.
//
// A build without a deployer's files carries the project's own stand-ins for
// bcdedit.exe and boot.sdi. Under Wine, where the tests run the hand-off and
// nothing reboots, they are what makes the hand-off testable. On a Windows PC
// they are a trap: the stand-in "creates" entries in its own text store, the
// boot configuration is unchanged, and a restart would come back into the old
// system with the user believing the PE was set up. So on Windows the
// hand-off refuses while either file is a stand-in, before anything is
// written, and no restart follows.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

// The error box's text for the given stand-in file names.
Text StandInRefusalText(const std::vector<Text>& files);

// The boot files the hand-off would use that are stand-ins (boot_tools.h
// finds them; a real one anywhere wins): "bcdedit.exe" (not on XP/2003,
// which do not run it), then "boot.sdi".
std::vector<Text> StandInBootFiles();

// Whether the hand-off may change the boot configuration and restart: always
// under Wine; on Windows only when no boot file is a stand-in. A refusal is
// logged, explained in an error box owned by the main window, and remembered
// so that the restart steps that would follow do nothing.
bool BootHandOffAllowed();

// True after a refusal (until the next check allows the hand-off).
bool HandOffRefused();
void ResetHandOffRefusal();

}  // namespace mv
