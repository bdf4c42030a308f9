// Progress of downloads, copies and digests on the two progress areas: the
// engine poll loop WaitForTask, the copy progress display thread and the
// digest progress ShowHashProgress.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/engine.h"
#include "download/engine_records.h"
#include "download/progress_names.h"

namespace mv::dl {

// The area the routines write to. The copy display always uses the download page.
enum class ProgressView { kPeArea, kDownloadPage };
void SetProgressView(ProgressView view);
ProgressView CurrentProgressView();
const ProgressArea& CurrentArea();

// "文件大小：0MB  已下载：0MB  下载速度：0M/s  预计剩余时间：0分0秒"
extern const char kZeroProgressLine[];

// Percent label and bar of an area; the fill is percent/100 of the track
// width, truncated (never wider than the track).
void ShowPercent(const ProgressArea& area, int percent);

// Polls the task once a second and shows its progress until the engine
// reports it complete (then waits 3 s, deletes it and returns true) or failed
// (false). A failed query is retried a second later. Also ends, with false,
// when the thread running it is asked to stop.
bool WaitForTask(XlHandle task);
// The same, querying into the caller's status record.
bool WaitForTask(XlHandle task, DownTaskInfo& info);
// Ends every WaitForTask running now with false (a cancel: the engine may
// never answer again for a task it has deleted).
void EndWaits();

// The digest progress after each chunk (the FileMd5 callback). Returns 0.
int ShowHashProgress(int32_t percent, int64_t bytes_done, int64_t bytes_total);

// What a file copy and its display thread share: the copy's progress routine
// stores total and copied, the cancel handler sets the cancel flag.
struct CopyProgressShared {
  std::atomic<int64_t> total{0};
  std::atomic<int64_t> copied{0};
  std::atomic<int> cancel{0};
};
CopyProgressShared& CopyShared();

// The copy progress display, one pass: reads the shared values and writes the
// download page. Returns the percent shown.
int CopyDisplayPass();
// The display thread's body: passes every 800 ms while the cancel flag is
// clear, up to 99 %, until the thread is asked to stop.
void CopyDisplayLoop();

}  // namespace mv::dl
