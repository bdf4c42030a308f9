// The boot entries that make the next start of the machine boot the PE from a
// RAM disk: two entries in the running system's boot configuration on NT6 and
// later (made with the work directory's bcdedit), a boot.ini entry chained
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

// True when the running system started through UEFI: the boot manager's block
// of the bcdedit listing (up to the first "description ") names an ".EFI" file.
int DetectEfiBoot();

// Adds the PE boot entries (NT6 or NT5 by the version of the Windows
// directory's regedit.exe) and makes the PE the default. Logs "bcdedit_sub"
// first. True when the PE entry is in place; on false the machine's boot
// configuration was left as it would boot before (see boot_entries.cpp).
// On Windows with stand-in boot files it refuses before running anything
// (see handoff_check.h); the restart steps then do nothing.
bool PrepareBootEntries();

// The braced id of a create command's output: the text between the first "{"
// and the next "}" with the braces put back ("{}" when there is none).
Text BracedIdFromOutput(const Text& output);

// True when bytes can serve as the NT5 chain file of that payload id: not a
// stand-in and of the file's own shape (hive magic, boot-record signature).
bool UsableChainFile(int payload_id, const Bytes& bytes);

}  // namespace mv
