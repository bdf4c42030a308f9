// The run log "MV_OSR.log" in the work directory: one line per step of every
// task, for support staff. GBK bytes, CR LF line ends, appended across runs
// and never truncated.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// "2019年8月19日9时5分7秒": the date, then the hour, minutes and seconds up to
// the last one that is not zero (midnight exactly gives the date alone).
Text FormatLogTimestamp(const LocalTime& t);
// The same for the platform's current local time.
Text LogTimestampNow();

// Opens work directory + "MV_OSR.log" for appending, shared with other
// readers and writers, creating it when missing. Only the start-up calls it.
// When the file cannot be opened every later line is silently dropped.
void OpenLog();
bool LogIsOpen();

// Appends timestamp + five spaces + message + CR LF in one write call; safe
// from any thread. Does nothing while the log is not open.
void Log(const Text& message);
// Appends a result line: "真" for true, "假" for false.
void LogResult(bool ok);

// Closes the log (tests only: the program keeps it open until it ends).
void CloseLog();

// The orderly end of the program: runs the registered shut-down hook (the
// download module's: stop and delete its tasks while busy, release the
// engine), logs "Main_END" and ends the process with exit code 0, or with
// the code the exit-code source gives (the command line's outcome).
[[noreturn]] void ShutDown();
void SetShutDownHook(std::function<void()> hook);
void SetShutDownExitCode(std::function<int()> code);

}  // namespace mv
