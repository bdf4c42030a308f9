// Starting, waiting for, pausing, aborting and shutting down downloads,
// against the fake engine and the fake clock.
#include <atomic>

#include "download/engine_records.h"
#include "tests/download/download_fixture.h"

namespace mv::dl::test {
namespace {

using Calls = std::vector<std::string>;

FakeStatus Going(int32_t stat) { return FakeStatus{true, stat, 1000, 10, 0.01f, 100}; }

// A task of the fake engine (which keeps a copy of its setup).
XlHandle CreateTask(const std::string& file_name = "f") {
  DownTaskSetup setup;
  FillTaskSetup(setup, "u", file_name, "D:\\");
  return XlCreateTask(&setup);
}

TEST_F(DownloadTest, StartDownloadCreatesStartsLogsAndWaits) {
  engine_.ScriptNextTask({Going(0), Going(2), {true, 4, 1000, 1000, 1.0f, 0}});
  ASSERT_TRUE(StartDownload("http://127.0.0.1/pe.wim", "pe.wim", "DownTaskInfo.创建_", true));
  EXPECT_EQ(engine_.Calls(), (Calls{"create:101", "start:101", "query:101", "query:101", "query:101", "delete:101"}));
  EXPECT_EQ(TaskList(), (std::vector<XlHandle>{101}));  // a deleted task stays listed
  EXPECT_EQ(CurrentTask(), 101u);
  // The status record's address follows its log text: not 0 (no record).
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "XL_StartTask_真");
  const std::string prefix = "DownTaskInfo.创建_";
  ASSERT_EQ(log[1].compare(0, prefix.size(), prefix), 0) << log[1];
  EXPECT_NE(std::stoull(log[1].substr(prefix.size())), 0u);

  // One query a second; the finished task is deleted three seconds after the last one.
  const std::vector<uint32_t> t = engine_.Ticks();
  EXPECT_EQ(t[3] - t[2], 1000u);
  EXPECT_EQ(t[4] - t[3], 1000u);
  EXPECT_EQ(t[5] - t[4], 3000u);

  // The engine got the setup the system fills in.
  const std::vector<uint8_t> s = engine_.Setups().at(0);
  EXPECT_EQ(s[4], 'h');
  EXPECT_EQ(s[16532], 'p');
  EXPECT_EQ(s[17572], 'D');
  EXPECT_EQ(s[18360], 5);
  EXPECT_EQ(s[18364], 1);
  EXPECT_EQ(s[18368], 1);

  // Another task is not made current unless asked; a failed start is logged as such.
  engine_.ScriptNextTask({{true, 1}});
  EXPECT_FALSE(StartDownload("http://127.0.0.1/x", "x", "XL_StartTask_", false));
  EXPECT_EQ(CurrentTask(), 101u);
  EXPECT_EQ(TaskList(), (std::vector<XlHandle>{101, 102}));
  EXPECT_EQ(engine_.Count("delete:102"), 0);
}

TEST_F(DownloadTest, WaitShowsSizesSpeedPercentAndRemainingTime) {
  engine_.ScriptNextTask({{true, 1, 1073741824, 536870912, 0.999f, 1048576}});
  const XlHandle h = CreateTask("系统.gho");
  EXPECT_FALSE(WaitForTask(h));
  EXPECT_EQ(Text(kDownloadPage.progress),
            "文件大小：1GB  已下载：512MB  下载速度：1 MB/s  剩余下载时间：8分32秒");
  EXPECT_EQ(Text(kDownloadPage.percent), "99%");
  EXPECT_EQ(ui::MainModel().Width(kDownloadPage.fill), 396);
  EXPECT_EQ(Text(kDownloadPage.status), "下载文件：保存路径：D:\\MV_OSR\\系统.gho");

  // The PE view gets the lines instead; a stalled transfer shows 0分0秒.
  SetProgressView(ProgressView::kPeArea);
  engine_.ScriptNextTask({{true, 1, 1073741823, 0, 0.0f, 1023}});
  const XlHandle h2 = CreateTask();
  EXPECT_FALSE(WaitForTask(h2));
  EXPECT_EQ(Text(kPeArea.progress), "文件大小：1024MB  已下载：0MB  下载速度：1 KB/s  剩余下载时间：291时33分21秒");
  EXPECT_EQ(Text(kPeArea.percent), "0%");
  // An empty bar: 0 as a width would draw the whole bar.
  EXPECT_EQ(ui::MainModel().Width(kPeArea.fill), 1);
  engine_.ScriptNextTask({{true, 1, 100, 0, 0.0f, 0}});
  EXPECT_FALSE(WaitForTask(CreateTask()));
  EXPECT_EQ(Text(kPeArea.progress), "文件大小：0MB  已下载：0MB  下载速度：0 KB/s  剩余下载时间：0分0秒");
}

TEST_F(DownloadTest, EveryOtherStateKeepsWaitingAndFailedQueriesAreRetried) {
  FakeStatus no_answer;
  no_answer.answers = false;
  engine_.ScriptNextTask({Going(0), Going(2), Going(3), no_answer, Going(5), Going(6), Going(-1), Going(99),
                          {true, 4, 1000, 1000, 1.0f, 0}});
  const XlHandle h = CreateTask();
  const uint32_t start = fake_.TickCount();
  EXPECT_TRUE(WaitForTask(h));
  EXPECT_EQ(engine_.Count("query:101"), 9);
  EXPECT_EQ(fake_.TickCount() - start, 8 * 1000u + 3000u);
  EXPECT_EQ(engine_.Calls().back(), "delete:101");
}

TEST_F(DownloadTest, PauseStopsTheTaskAfterTheWorkerAndResumeTheOtherWayRound) {
  engine_.ScriptNextTask({Going(0)});
  std::atomic<int> result{-1};
  const Handle worker = fake_.StartThread([&] { result = StartDownload("u", "f", "p", true) ? 1 : 0; });
  SetJobThreads(worker, kNoHandle);
  while (engine_.Count("query:101") < 2) fake_.Sleep(1);

  PauseDownload();
  EXPECT_EQ(Text(kPauseButton), "继续下载");
  EXPECT_EQ(engine_.Count("stop:101"), 1);
  // Paused at its next checkpoint: the worker queries no more.
  const int queries = engine_.Count("query:101");
  RealSleep(100);
  EXPECT_LE(engine_.Count("query:101"), queries + 1);
  ResumeDownload();
  EXPECT_EQ(Text(kPauseButton), "暂停下载");
  EXPECT_EQ(engine_.Count("start:101"), 2);
  while (engine_.Count("query:101") < queries + 3) fake_.Sleep(1);

  // Cancelling ends the wait (a deleted task reads as failed) and stops the worker.
  fake_.RequestStop(worker);
  StopAndDeleteAllTasks();
  EndWaits();
  ASSERT_TRUE(fake_.JoinThread(worker, 10000));
  fake_.ReleaseThread(worker);
  EXPECT_EQ(result, 0);
}

TEST_F(DownloadTest, StopAndDeleteGoesThroughEveryTaskInOrder) {
  AppendTask(101);
  AppendTask(102);
  StopAndDeleteAllTasks();
  EXPECT_EQ(engine_.Calls(), (Calls{"stop:101", "delete:101", "stop:102", "delete:102"}));
  EXPECT_TRUE(TaskList().empty());
}

TEST_F(DownloadTest, ShutDownStopsTasksOnlyWhileBusyAndReleasesAStartedEngine) {
  InstallDownloadHooks();
  AppendTask(101);
  AppendTask(102);
  ShutDownEngine();  // engine never started: nothing to release, the library is not loaded for it
  EXPECT_TRUE(engine_.Calls().empty());

  ASSERT_TRUE(StartEngine());
  ShutDownEngine();  // idle: the listed handles are left alone
  EXPECT_EQ(engine_.Calls(), (Calls{"init", "uninit"}));

  SetBusyFlag(1);
  EXPECT_THROW(ShutDown(), FakeProcessEnded);  // the core's end of the program runs the engine's part
  EXPECT_EQ(engine_.Calls(),
            (Calls{"init", "uninit", "stop:101", "delete:101", "stop:102", "delete:102", "uninit"}));
  EXPECT_EQ(LogLines().back(), "Main_END");
  SetShutDownHook(nullptr);
}

}  // namespace
}  // namespace mv::dl::test
