// The system's own binding to the real xldl.dll (under Wine, over WinINet,
// from the test server beside it): the engine's records as the binding fills them,
// the download started and waited for as the install does it, the file
// checked with FileMd5.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "core/log.h"
#include "core/state.h"
#include "download/engine.h"
#include "download/engine_records.h"
#include "download/file_md5.h"
#include "download/progress.h"
#include "download/tasks.h"
#include "platform/win32/win32_platform.h"
#include "tools/testserver/content.h"
#include "ui/model.h"

namespace mv::dl {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class RealEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static Win32Platform win;
    SetPlatform(&win);
    wchar_t exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, n);
    folder.resize(folder.find_last_of(L'\\') + 1);
    // Without a drive for the host's root Wine names the test's own folder
    // "unix\..." (an NT path under "\\?\").
    if (folder.compare(0, 5, L"unix\\") == 0) folder = L"\\\\?\\" + folder;
    // The engine goes into the work directory, which is the library folder,
    // as the program's tool files put it there.
    // One folder per build: the 32- and 64-bit runs share the prefix and may run at once.
    const std::string work = plat().TempDirectory() + (sizeof(void*) == 8 ? "mv_binding_test64\\" : "mv_binding_test32\\");
    plat().CreateFolder(work);
    SetWorkDir(work);
    if (!::CopyFileW((folder + L"xldl.dll").c_str(), Wide(work + "xldl.dll").c_str(), FALSE))
      ADD_FAILURE() << "cannot copy the engine from " << Gbk(folder) << ": " << ::GetLastError();
    SetLibraryFolder(work);
    OpenLog();
    BindEngineLibrary();
  }

  void SetUp() override {
    const char* p = std::getenv("MV_TEST_SERVER_PORT");
    ASSERT_TRUE(p && *p) << "MV_TEST_SERVER_PORT is not set";
    port_ = p;
    ui::MainModel().SetWidth(kDownloadPage.track, 400);
    SetProgressView(ProgressView::kDownloadPage);
  }
  std::string Url(int64_t size, const std::string& query) {
    return "http://127.0.0.1:" + port_ + "/gen/" + std::to_string(size) + "?" + query;
  }
  std::string port_;
};

TEST_F(RealEngine, DownloadThroughADroppedConnectionEndsCompleteWithTheRightDigest) {
  ASSERT_TRUE(StartEngine());
  const int64_t size = 6 * 1048576 + 777;
  const std::string name = "系统drop.bin";
  plat().RemoveFile(WorkDir() + name);
  ASSERT_TRUE(StartDownload(Url(size, "id=bind-drop&drop=1500000&k=1"), name, "DownTaskInfo.创建_", true));
  EXPECT_EQ(TaskList().back(), CurrentTask());
  EXPECT_EQ(ui::MainModel().Text(kDownloadPage.percent), "100%");
  EXPECT_EQ(ui::MainModel().Text(kDownloadPage.status), "下载文件：保存路径：" + WorkDir() + name);
  EXPECT_EQ(plat().FileSize(WorkDir() + name), size);
  EXPECT_EQ(FileMd5(WorkDir() + name, ShowHashProgress), Upper(xlts::Md5OfContent(1, size)));
  // The engine's running digest came with the finished task: the file's.
  std::string md5;
  int64_t md5_size = 0;
  ASSERT_TRUE(TakeDownloadMd5(WorkDir() + name, &md5, &md5_size));
  EXPECT_EQ(md5, Upper(xlts::Md5OfContent(1, size)));
  EXPECT_EQ(md5_size, size);
  // WaitForTask deleted the finished task: the engine now reports it failed.
  DownTaskInfo info;
  ResetTaskInfo(info);
  ASSERT_TRUE(XlQueryTaskInfoEx(CurrentTask(), &info));
  EXPECT_EQ(info.stat, kTaskFailed);
  plat().RemoveFile(WorkDir() + name);
}

TEST_F(RealEngine, StopStartDeleteAndDeleteAgain) {
  ASSERT_TRUE(StartEngine());
  const int64_t size = 8 * 1048576;
  const std::string name = "pause.bin";
  plat().RemoveFile(WorkDir() + name);
  DownTaskSetup setup;
  FillTaskSetup(setup, Url(size, "id=bind-pause&rate=400000"), name, WorkDir());
  const XlHandle task = XlCreateTask(&setup);
  AppendTask(task);
  SetCurrentTask(task);
  ASSERT_TRUE(XlStartTask(task));
  ::Sleep(1500);
  XlStopTask(task);
  ::Sleep(500);
  DownTaskInfo info;
  ResetTaskInfo(info);
  ASSERT_TRUE(XlQueryTaskInfoEx(task, &info));
  EXPECT_NE(info.stat, kTaskComplete);
  EXPECT_NE(info.stat, kTaskFailed);
  const int64_t stopped_at = info.nTotalDownload;
  EXPECT_GT(stopped_at, 0);
  EXPECT_LT(stopped_at, size);
  // Unfinished: the control file lies beside the file, as the program expects.
  EXPECT_TRUE(plat().FileExists(WorkDir() + name + ".dlctl"));
  ::Sleep(1000);
  ASSERT_TRUE(XlQueryTaskInfoEx(task, &info));
  EXPECT_EQ(info.nTotalDownload, stopped_at);  // stopped means stopped

  ASSERT_TRUE(XlStartTask(task));  // continues where it stopped
  EXPECT_TRUE(WaitForTask(task));
  EXPECT_EQ(FileMd5(WorkDir() + name, ShowHashProgress), Upper(xlts::Md5OfContent(1, size)));
  XlDeleteTask(task);  // already deleted by the wait: harmless
  XlDeleteTask(task);
  EXPECT_FALSE(WaitForTask(task));  // a forgotten task ends the wait at once

  // Shutting down while busy stops and deletes every listed task, then
  // releases the engine.
  SetBusyFlag(1);
  ShutDownEngine();
  SetBusyFlag(0);
  ClearTaskList();
  BindEngineLibrary();
  plat().RemoveFile(WorkDir() + name);
}

}  // namespace
}  // namespace mv::dl
