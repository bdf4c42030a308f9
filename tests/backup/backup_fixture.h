// A fresh process on a fake machine for the backup tests: C: the system
// drive, D: a fixed data drive holding the work directory, an empty backup
// page and data-backup area, no links.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "backup/data_backup.h"
#include "backup/requests.h"
#include "backup/restore_points.h"
#include "boot/pe_task.h"
#include "core/job.h"
#include "core/log.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/process_reset.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ResetProcess(&fake_);
    // The partition listing's number for the system drive (the task file needs it).
    SetSystemPartitionNumberSource([] { return Text("0:2"); });
    fake_.AddDrive('D');
    SetWorkDir("D:\\MV_OSR\\");
    fake_.CreateFolder("D:\\MV_OSR");
    OpenLog();
    SetBackupLinks(BackupLinks());
    SetBackupOwner(0x1234);
    RestorePointPath().clear();
    ResetRestorePointCounter();
    ui::WindowModel& m = ui::MainModel();
    m.ClearRows(names::kRestorePointList);
    m.Update(names::kRestorePointList, [](ui::Component& c) { c.value = -1; });
    m.SetWidth(names::kDataBackupBar1, 309);
    m.SetWidth(names::kDataBackupBar2, 0);
    m.SetSelected(names::kDataBackupButton, false);
    for (const char* item : names::kDataItems) m.SetChecked(item, false);
    m.SetPage(names::kPageHost, names::kPageBackup);
  }
  void TearDown() override {
    WaitBackupSearch(~0u);
    WaitDataBackup(~0u);
    ResetJob();
    SetSystemPartitionNumberSource(nullptr);
    CloseLog();
    ClearStartupHooks();
    ui::ClearHandlers();
    SetBackupLinks(BackupLinks());
    SetPlatform(nullptr);
  }

  std::string LogText() { return fake_.FileText("D:\\MV_OSR\\MV_OSR.log"); }

  std::vector<std::vector<std::string>> Rows() { return ui::MainModel().Rows(names::kRestorePointList); }
  std::vector<std::string> Paths() {
    std::vector<std::string> out;
    for (const auto& r : Rows()) out.push_back(r.size() > 1 ? r[1] : std::string());
    return out;
  }
  void Select(int row) { ui::MainModel().Update(names::kRestorePointList, [row](ui::Component& c) { c.value = row; }); }

  FakePlatform fake_;
};

}  // namespace mv
