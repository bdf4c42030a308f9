#include "tests/ui/ui_fixture.h"

#include "boot/restart.h"
#include "core/job.h"
#include "core/log.h"
#include "core/service_host.h"
#include "core/startup.h"
#include "core/state.h"
#include "detect/partition_listing.h"
#include "download/engine.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "tests/support/log_messages.h"
#include "tests/support/process_reset.h"
#include "ui/main_window_logic.h"

namespace mv::ui::test {

void UiTest::SetUp() {
  mv::test::ResetProcess(&fake_);
  fake_.AddDrive('D');
  fake_.MakeThisTheWindowThread();
  dl::BindEngine(dl::test::FakeEngine::Table());
  ResetRestartState();
  SetSystemPartitionValues("", "");
  SetWorkDir("D:\\MV_OSR\\");
  SetLibraryFolder("D:\\MV_OSR\\");
  fake_.CreateFolder("D:\\MV_OSR");
  fake_.CreateFolder("D:\\MV_OSR\\tools");
  OpenLog();
  dl::ClearTaskList();
  dl::SetBusyFlag(0);
  dl::SetJobThreads(kNoHandle, kNoHandle);
  dl::CopyShared().cancel = 0;
  dl::SetMessageOwner(0x77);
  // The model is the process's: every component back to its first state.
  for (const std::string& name : MainModel().Names()) MainModel().Update(name, [](Component& c) { c = Component(); });
  ResetMainWindowLogic();
  ResetJob();
  SetWindowOps(&ops_);
  InstallMainWindowLogic();
}

void UiTest::TearDown() {
  ResetJob();
  ResetMainWindowLogic();
  ResetRestartState();
  dl::SetMessageOwner(0);
  CloseLog();
  ResetProcessState();
  dl::BindEngineLibrary();
  SetPlatform(nullptr);
}

std::vector<std::string> UiTest::LogLines() {
  return mv::test::LogMessages(fake_.FileText("D:\\MV_OSR\\MV_OSR.log"));
}

void UiTest::ProbeAnswers(const std::string& body) { fake_.SetUrlText(service::NetProbeUrl(), body); }

}  // namespace mv::ui::test
