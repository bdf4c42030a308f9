// The boot entries that make the next start of the machine boot the PE from a
// RAM disk: two entries in the running system's boot configuration on NT6 and
// later (made with the bcdedit of boot_tools.h), a boot.ini entry chained
// through the program's own boot files on NT5 (XP/2003). The ids created are
// remembered in "ZaRuzoVev.ini" in the Windows directory, so that the next run
// removes them first, and written into the PE task file for the PE.
#pragma once

#include "platform/platform.h"

namespace mv {

// The caption of the entries (their description and the boot.ini line).
extern const char kBootEntryCaption[];

// Windows directory + "\ZaRuzoVev.ini".
Text BootRecordFile();

// True when the running system started through UEFI: the boot manager's
// entry in the bcdedit listing names an ".efi" file (in any language).
int DetectEfiBoot();

// Adds the PE boot entries (NT6 or NT5 by the version of the Windows
// directory's regedit.exe) and makes the PE the default. Logs "bcdedit_sub"
// first. True when the PE entry is in place. Before anything changes it
// checks that "\WinPE\boot.wim" is on the system drive and puts a valid
// "\boot\boot.sdi" there (boot_tools.h). On false the machine's boot
// configuration was left as it would boot before, and an error box said why
// the restart does not happen. On Windows with stand-in boot files it refuses
// before running anything (see handoff_check.h); the restart steps then do
// nothing.
bool PrepareBootEntries();

// True on Windows XP/2003: the Windows directory's regedit.exe has a file
// version beginning with "5".
bool IsNt5();

// True when bytes can serve as the NT5 chain file of that payload id: not a
// stand-in and of the file's own shape (hive magic, boot-record signature).
bool UsableChainFile(int payload_id, const Bytes& bytes);

}  // namespace mv
