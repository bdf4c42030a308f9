// The PE task file: the one message the program leaves for the preinstallation
// environment that boots after the restart. An INI file, section "SYSTEM", on
// the system drive ("C:\\WinPE\DaVidAZ.INI"), plus three small marker files by
// which the PE recognises the volumes concerned although drive letters differ
// inside the PE.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// Task numbers the PE understands.
enum PeTaskNumber : int {
  kPeTaskGhost = 1,   // install from a Ghost image (.gho)
  kPeTaskWim = 3,     // install from a WIM/ESD image at an index
  kPeTaskBackup = 4,  // back the current system up into a new WIM file
};

// The install task for an image file: 1 when its extension in upper case is
// ".GHO", else 3.
int PeTaskForImage(const Text& image_path);

// Writes the task file afresh (nothing of an earlier run stays) and its
// markers for task 1, 3 or 4. image_path is the image to install (tasks 1
// and 3) or the backup file to create (task 4); index_text is written for
// task 3 only. False, with no task file left, when any key or the image and
// task-directory markers could not be written, when the system partition's
// number is unknown, or for another task number; the boot entries must not
// follow then.
bool WritePeTask(int task, const Text& image_path, const Text& index_text);
// What the user is told when it returns false.
extern const char kPeTaskFailedMessage[];

// A local date-time as text. style 0 to 3 picks the pattern set (another
// value counts as 0); part 0 date and time, 1 the date without trailing
// blanks, 2 month and day, 3 the time, 4 hours and minutes, 5 minutes and
// seconds. Hours are 12-hour (without a marker) unless the locale uses a
// 24-hour clock.
Text FormatTimestamp(const LocalTime& t, int style, int part);
Text FormatTimestamp(int style, int part);  // the current local time

// "\\.\GLOBALROOT" + HKLM SYSTEM\Setup SystemPartition + "\" (read anew).
Text SystemPartitionPath();

// The running system's boot-loader id in the boot configuration ("{current}"),
// read from the bcdedit listing in any language (bcd_output.h); empty when
// the listing cannot be had or shows no such entry.
Text FindCurrentLoaderId();
// The parse itself: listing as the tool printed it, drive letter of the system drive.
Text CurrentLoaderIdFromListing(const Text& listing, char system_drive_letter);

// The partition number recorded for the system drive's partition (the
// partition listing's "disk:position"). The program sets the source once at
// start; without one the value is empty.
void SetSystemPartitionNumberSource(std::function<Text()> source);

// The task file's path: the process-wide one, or system drive + "\WinPE\DaVidAZ.INI".
Text PeTaskFile();

}  // namespace mv
