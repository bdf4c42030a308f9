// The program's command line. Without arguments it opens its window; the
// options ask for one job without the wizard's questions (repair shops run
// these from a script or a USB stick):
//
//   /check                                   the readiness check, its verdict as the exit code
//   /install <catalogue link | image path> [/index N] [/backup docs,desktop,favorites,drivers]
//            [/restart now|ask|no] [/check]  an unattended reinstall (with /check: only its check)
//   /backup-system <name> [/restart ...]     a system backup through the PE
//   /restore <image path> [/index N] [/restart ...]
//   /report [file]                           the diagnostics file (default: on the desktop)
//
// Options start with "/" or "-" and are matched without case; each may be
// given once. The parse only reads the arguments: whatever is wrong with
// them is found before anything on the machine is touched.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

// How the machine restarts once an unattended job has handed off.
enum class RestartChoice {
  kAsk,  // as the window does: the countdown (install) or the ten-second notice (backup, restore)
  kNow,  // at once
  kNo,   // not at all: the machine is left ready and the program ends
};

// The data an unattended install backs up first (/backup).
struct DataChoice {
  bool documents = false, desktop = false, favorites = false, drivers = false;
  bool Any() const { return documents || desktop || favorites || drivers; }
};

struct ProgramCommand {
  enum Mode { kWindow, kCheck, kInstall, kBackupSystem, kRestore, kReport, kBad } mode = kWindow;
  Text source;             // kInstall: a catalogue link or an image path; kRestore: the image path
  bool catalogue = false;  // kInstall: source is a catalogue link
  int index = 0;           // /index N; 0 when not given
  DataChoice backup;       // kInstall: /backup
  RestartChoice restart = RestartChoice::kAsk;
  bool check_only = false; // kInstall with /check: only the check for this install
  Text name;               // kBackupSystem: the backup's name
  Text report_path;        // kReport: the file; empty for the desktop
  Text error;              // kBad: what is wrong, in Chinese
};

// The arguments after the program's own name.
ProgramCommand ParseProgramArguments(const std::vector<Text>& args);

// True for an image path the install and the restore take: a full path
// ("X:\...") to a ".wim", ".esd" or ".gho" file (any letter case).
bool ImagePathForm(const Text& path);
// True when the path names a Ghost image (".gho", any case).
bool GhostImagePath(const Text& path);

// The usage text (GBK, CR LF line ends).
extern const char kProgramUsage[];

// The exit codes of the command line, one per outcome.
enum ExitCode : int {
  kExitReady = 0,         // handed off: restarting, or left ready (/restart no); /check, /report: done
  kExitCheckFailed = 1,   // the readiness check (or what the job needs before it starts) failed
  kExitBadArguments = 2,  // the command line is wrong: nothing was done
  kExitDownloadFailed = 3,// the image or the PE could not be brought (download, copy, disk space)
  kExitVerifyFailed = 4,  // the image or the PE did not match its digest
  kExitHandOffFailed = 5, // the task file or the boot entries could not be written
  kExitCancelled = 6,     // stopped at the machine (the window closed)
  kExitReportFailed = 7,  // /report: the file could not be written
};

}  // namespace mv
