// Where the boot hand-off's tools come from on this machine. The program
// cannot ship the system's boot configuration editor or RAM-disk image; a
// deployer may put real copies into the payload, and otherwise Windows 7 and
// later bring both: bcdedit.exe in the real system directory (which a 32-bit
// program on 64-bit Windows reaches only with redirection off: its own
// "System32" is SysWOW64, which has none) and boot.sdi in the Windows
// directory's boot folders. The project's stand-ins serve only under Wine.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

// The boot configuration editor the hand-off runs.
struct BcdeditTool {
  Text path;             // empty when there is none
  bool system = false;   // the running system's own, in the real system directory
  bool stand_in = false; // one of the project's stand-ins
};
// In this order: a real copy the program carries (the work directory's
// tools\bcdedit.exe), the system's own, the work directory's file (the
// carried stand-in) when it is there.
BcdeditTool FindBcdedit();

// Runs the tool with the arguments (empty: the listing of the store)
// through the command interpreter, the system's own in the real system
// directory. The line run is the tool's path, a blank and the arguments.
CommandResult RunBcdedit(const Text& arguments);

// A RAM-disk image begins with "$SDI".
bool IsSdiImage(const Bytes& bytes);
bool FileIsSdiImage(const Text& path);

// Where the system keeps its own RAM-disk image (Windows directory's
// Boot\DVD\PCAT and Boot\DVD\EFI, the system drive's Recovery\WindowsRE).
std::vector<Text> SystemBootSdiPlaces();
// System drive + "boot\boot.sdi", where the boot entries point.
Text BootSdiTarget();

// The RAM-disk image the hand-off would use.
struct BootSdiSource {
  enum Kind { kNone, kInPlace, kCarried, kSystemFile } kind = kNone;
  Text path;             // kInPlace and kSystemFile: the file
  bool stand_in = false; // one of the project's stand-ins
};
// Real images first: the one already in place, a real copy the program
// carries, the system's own; then, the same way, stand-ins.
BootSdiSource FindBootSdi();

// Puts the image FindBootSdi names at BootSdiTarget (a stand-in only under
// Wine). True when a valid image is then in place.
bool PlaceBootSdi();

}  // namespace mv
