// The partition listing: runs the disk-listing tool and picks the system
// drive's line out of its output, giving the system partition number
// ("1:3": disk and position) and the system disk style ("GPT").
#pragma once

#include "platform/platform.h"

namespace mv {

// Process-wide values: empty until a line for the system drive is found.
const Text& SystemPartitionNumber();
const Text& SystemDiskStyle();
void SetSystemPartitionValues(const Text& number, const Text& style);

// Writes "tools\QzDir.exe" into the work directory, runs it directly (no
// command interpreter) with "-tavrin" and sets the two values from the first
// line whose drive is the system drive. Nothing matching (no output, tool
// missing) leaves them as they were.
void ListPartitions();
// The same in two halves, so that the tool can run on a worker thread while
// the window thread goes on: RunPartitionTool writes the tool, runs it and
// returns its output (it sets nothing); TakePartitionListing sets the two
// values from that output. Without write_tool the tool runs only when the
// work directory holds it exactly as carried (nothing is written).
Text RunPartitionTool(bool write_tool = true);
void TakePartitionListing(const Text& output);

// The parse of the tool's output on its own: true and the two values when a
// line's drive letter (any case) is the first letter of system_drive.
bool ParsePartitionListing(const Text& output, const Text& system_drive, Text& number, Text& style);

}  // namespace mv
