// The backup page and the data backup wired into the window: start-up hooks
// (publish the backup folders, start the restore-point search) and the
// handlers of the page's buttons, its list and the data backup's cancel button.
#pragma once

namespace mv {

// Registers everything; call once before the main window is created.
//   list "select" (arg: row index, -1 none)  -> the selected restore point
//   list "refresh", status label "click"      -> a new restore-point search
//   add / restore / delete buttons "click"    -> the three requests
//   data backup cancel button "click"         -> cancel the data backup
void InstallBackupPage();

}  // namespace mv
