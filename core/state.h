// Process-wide values that the start-up and the tool-file extraction fix and
// every other module reads. They are written on the window thread only and
// carry no lock: the start-up's values before any worker starts; the
// recorded choice whenever the user chooses, which is why a job copies what
// it works from when it starts (core/job.h) and its workers never read or
// write the choice itself.
#pragma once

#include "platform/platform.h"

namespace mv {

// "D:\MV_OSR\" or another fixed drive's root + "MV_OSR\"; always ends with
// "\"; empty while no drive has been chosen.
const Text& WorkDir();
void SetWorkDir(const Text& dir);

// System drive + "\WinPE\DaVidAZ.INI" (the doubled separator is kept: the
// file system accepts it and it names the same file).
const Text& PeTaskFilePath();
void SetPeTaskFilePath(const Text& path);

// Work directory + "tools\bcdedit.exe" and + "tools\wimlib.exe".
const Text& BcdeditPath();
void SetBcdeditPath(const Text& path);
const Text& WimlibPath();
void SetWimlibPath(const Text& path);

// The folder from which the download engine library is loaded (the work
// directory once the tool files have been written).
const Text& LibraryFolder();
void SetLibraryFolder(const Text& folder);

// The recorded choice of a system image: a catalogue link (address, file
// name, expected MD5, system name) or a local image file (path and, for
// WIM/ESD, the image index the index window filled in).
struct ImageChoice {
  Text url;
  Text file_name;
  Text md5;
  Text system_name;
  bool local = false;
  Text image_path;
  int image_index = 0;
  // The image index the recorded choice installs: the one picked in the
  // index window for a local WIM/ESD image, 1 for everything else. Kept
  // apart from image_index, which every catalogue click and every opening
  // of the index window sets again, also when the choice itself stays.
  int install_index = 1;
};
ImageChoice& Choice();

// Whether the machine started through UEFI (the survey sets it).
bool UefiMode();
void SetUefiMode(bool uefi);

// Back to the state of a fresh process (tests only).
void ResetProcessState();

}  // namespace mv
