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
#include "ui/main_window_logic.h"

namespace mv::ui::test {

void UiTest::SetUp() {
  SetPlatform(&fake_);
  fake_.AddDrive('D');
  fake_.MakeThisTheWindowThread();
  dl::BindEngine(dl::test::FakeEngine::Table());
  ResetProcessState();
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
  std::vector<std::string> out;
  const std::string all = fake_.FileText("D:\\MV_OSR\\MV_OSR.log");
  size_t at = 0;
  while (at < all.size()) {
    size_t end = all.find("\r\n", at);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(at, end - at);
    const size_t gap = line.find("     ");
    out.push_back(gap == std::string::npos ? line : line.substr(gap + 5));
    at = end + 2;
  }
  return out;
}

void UiTest::ProbeAnswers(const std::string& body) { fake_.SetUrlText(service::NetProbeUrl(), body); }

}  // namespace mv::ui::test
