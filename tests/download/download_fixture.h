// Shared set-up of the download tests: the fake platform with its fake
// clock, the fake engine bound in place of the library, the download links
// recorded, and the process-wide download state reset.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/state.h"
#include "core/window_names.h"
#include "download/engine.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "platform/fake/fake_platform.h"
#include "tests/download/fake_engine.h"
#include "tests/support/log_messages.h"
#include "tests/support/process_reset.h"
#include "ui/model.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mv::dl::test {

// A wait on the wall clock (the fake clock does not wait).
inline void RealSleep(unsigned ms) {
#if defined(_WIN32)
  ::Sleep(ms);
#else
  ::usleep(ms * 1000);
#endif
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mv::test::ResetProcess(&fake_);
    fake_.AddDrive('D');
    fake_.AddDrive('E');
    fake_.UseFakeClock(LocalTime{2026, 1, 2, 10, 0, 0, 0, 5}, 1000);
    BindEngine(FakeEngine::Table());
    SetWorkDir("D:\\MV_OSR\\");
    SetLibraryFolder("D:\\MV_OSR\\");
    fake_.CreateFolder("D:\\MV_OSR");
    OpenLog();
    SetDownloadLinks({[this](int busy) {
      busy_calls_.push_back(busy);
      SetBusyFlag(busy);
    }});
    ClearTaskList();
    SetCurrentTask(0);
    SetBusyFlag(0);
    SetJobThreads(kNoHandle, kNoHandle);
    SetProgressView(ProgressView::kDownloadPage);
    ui::MainModel().SetWidth(kDownloadPage.track, 400);
    ui::MainModel().SetWidth(kPeArea.track, 300);
    ui::MainModel().SetPage(names::kWizard, 3);
  }
  void TearDown() override {
    SetDownloadLinks({});
    CloseLog();
    ResetProcessState();
    SetJobThreads(kNoHandle, kNoHandle);
    BindEngineLibrary();
    SetPlatform(nullptr);
  }
  std::string Text(const char* name) { return ui::MainModel().Text(name); }
  // The messages of the run log, without their timestamps.
  std::vector<std::string> LogLines() {
    return mv::test::LogMessages(fake_.FileText("D:\\MV_OSR\\MV_OSR.log"));
  }

  FakePlatform fake_;
  FakeEngine engine_;
  std::vector<int> busy_calls_;
};

}  // namespace mv::dl::test
