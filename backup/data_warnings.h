// What the user must hear about the data backup before it starts and before
// an install hands off: on a machine whose only drive is the system drive the
// work directory (and so the backup) lies on the drive the reinstall
// overwrites, and files that failed to copy are still only on that drive.
#pragma once

#include "backup/data_backup.h"
#include "platform/platform.h"

namespace mv {

// True when the work directory is on the system drive.
bool DataBackupOnSystemDrive();

// Before a data backup starts (install: part of an install; else on its own):
// on the system drive, says so and asks whether to go on. True to go on
// (always when the work directory is elsewhere).
bool ConfirmDataBackupOnSystemDrive(bool install);

// Before an install hands off: when files failed to copy (naming how many),
// or when the backed-up data lies on the system drive, says so and asks
// whether to go on with the reinstall. True to go on (always when there is
// nothing to say).
bool ConfirmDataBeforeHandOff(const CopyTally& tally, bool data_backed_up);

}  // namespace mv
