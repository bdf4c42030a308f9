// The backup page's wiring: see backup_page.h.
#include "backup/backup_page.h"

#include <cstdlib>

#include "backup/data_backup.h"
#include "backup/requests.h"
#include "backup/restore_points.h"
#include "core/startup.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

void InstallBackupPage() {
  SetStartupHook(StartupHook::kPublishBackupFolders, [](WindowRef main_window) {
    SetBackupOwner(main_window);
    PublishBackupFolders();
  });
  SetStartupHook(StartupHook::kStartBackupSearch, [](WindowRef) { StartBackupSearch(); });
  ui::SetHandler(names::kRestorePointList, "select", [](const std::string& arg) {
    const int row = arg.empty() ? -1 : std::atoi(arg.c_str());
    ui::MainModel().Update(names::kRestorePointList, [row](ui::Component& c) {
      c.value = (row >= 0 && row < static_cast<int>(c.rows.size())) ? row : -1;
    });
  });
  ui::SetHandler(names::kRestorePointList, "refresh", [](const std::string&) { StartBackupSearch(); });
  ui::SetHandler(names::kBackupSearchStatus, "click", [](const std::string&) { StartBackupSearch(); });
  ui::SetHandler(names::kSearchBackupsButton, "click", [](const std::string&) { StartBackupSearch(); });
  ui::SetHandler(names::kAddBackupButton, "click", [](const std::string&) { RequestSystemBackup(); });
  ui::SetHandler(names::kDeleteButton, "click", [](const std::string&) { DeleteRestorePoint(); });
  ui::SetHandler(names::kRestoreButton, "click", [](const std::string&) { RequestRestore(); });
  ui::SetHandler(names::kDataBackupCancel, "click", [](const std::string&) { CancelDataBackup(); });
}

}  // namespace mv
