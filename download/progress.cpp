#include "download/progress.h"

#include <cmath>

#include "core/state.h"
#include "download/engine_records.h"
#include "download/format.h"
#include "download/tasks.h"
#include "ui/model.h"

namespace mv::dl {

const char kZeroProgressLine[] = "文件大小：0MB  已下载：0MB  下载速度：0M/s  预计剩余时间：0分0秒";

namespace {

std::atomic<ProgressView> g_view{ProgressView::kDownloadPage};
// The previous values of the copy display and of the digest progress: kept
// for the whole run, as the first pass of a new file measures against them.
std::atomic<int64_t> g_prev_copied{0};
std::atomic<int64_t> g_prev_hashed{0};
std::atomic<uint32_t> g_wait_generation{0};

std::string SizeText(int64_t bytes, const char* small_unit, const char* large_unit) {
  const Scaled s = ScaleSize(bytes);
  return s.number + (s.large ? large_unit : small_unit);
}

// A fraction as a whole percent, robust against values the engine should not send.
int WholePercent(double fraction) {
  const double p = fraction * 100.0;
  if (!(p > 0.0)) return 0;  // also NaN
  if (p > 1e6) return 1000000;
  return static_cast<int>(p);
}

}  // namespace

void SetProgressView(ProgressView view) { g_view = view; }
ProgressView CurrentProgressView() { return g_view; }
const ProgressArea& CurrentArea() { return g_view == ProgressView::kPeArea ? kPeArea : kDownloadPage; }

void ShowPercent(const ProgressArea& area, int percent) {
  ui::WindowModel& m = ui::MainModel();
  m.SetText(area.percent, std::to_string(percent) + "%");
  const int track = m.Width(area.track);
  int64_t fill = static_cast<int64_t>(track) * percent / 100;
  // A width of 0 would mean "as laid out", the whole bar: 1 is empty enough.
  if (fill < 1) fill = 1;
  if (fill > track) fill = track;
  m.SetWidth(area.fill, static_cast<int>(fill));
}

void EndWaits() { ++g_wait_generation; }

bool WaitForTask(XlHandle task) {
  DownTaskInfo info;
  ResetTaskInfo(info);
  return WaitForTask(task, info);
}

bool WaitForTask(XlHandle task, DownTaskInfo& info) {
  const uint32_t generation = g_wait_generation;
  ui::WindowModel& m = ui::MainModel();
  for (;;) {
    if (!plat().Checkpoint()) return false;  // the job was cancelled
    if (g_wait_generation != generation) return false;
    if (XlQueryTaskInfoEx(task, &info)) {
      const int64_t speed = info.nSpeed;
      const int64_t total = info.nTotalSize;
      const int64_t done = info.nTotalDownload;
      const Scaled v = ScaleSpeedKb(speed);
      const std::string line = "文件大小：" + SizeText(total, "MB  ", "GB  ") + "已下载：" +
                               SizeText(done, "MB  ", "GB  ") + "下载速度：" + v.number +
                               (v.large ? " MB/s  " : " KB/s  ");
      const ProgressArea& area = CurrentArea();
      m.SetText(area.status, "下载文件：保存路径：" + WorkDir() + FieldText(info.szFilename));
      ShowPercent(area, WholePercent(info.fPercent));
      m.SetText(area.progress, line + "剩余下载时间：" + FormatRemaining(RemainingSeconds(total - done, speed)));
      const int32_t state = info.stat;
      if (state == kTaskComplete) {
        // The digest goes with the task: ask before it is deleted.
        NoteTaskMd5(task, XlQueryTaskMd5(task), total);
        plat().SleepPumping(3000);
        XlDeleteTask(task);
        return true;
      }
      if (state == kTaskFailed) return false;
    }
    plat().ProcessPendingEvents();
    if (g_wait_generation != generation) return false;
    plat().SleepPumping(1000);
  }
}

int ShowHashProgress(int32_t percent, int64_t bytes_done, int64_t bytes_total) {
  std::string line =
      "文件大小：" + SizeText(bytes_total, "MB  ", "GB  ") + "已读取：" + SizeText(bytes_done, "MB  ", "GB  ");
  // Against the previous call's value, which may belong to the previous file:
  // a new file starting below it reads as a pause (0), not as a negative speed.
  int64_t delta = bytes_done - g_prev_hashed.exchange(bytes_done);
  if (delta < 0) delta = 0;
  const Scaled v = ScaleSpeedMb(delta);
  line += "读取速度：" + v.number + (v.large ? "GB/s  " : "MB/s  ");
  const ProgressArea& area = CurrentArea();
  ShowPercent(area, percent);
  ui::MainModel().SetText(area.progress,
                          line + "预计剩余时间：" + FormatRemaining(RemainingSeconds(bytes_total - bytes_done, delta)));
  return 0;
}

CopyProgressShared& CopyShared() {
  static CopyProgressShared shared;
  return shared;
}

int CopyDisplayPass() {
  CopyProgressShared& c = CopyShared();
  const int64_t total = c.total;
  const int64_t copied = c.copied;
  int64_t delta = copied - g_prev_copied.exchange(copied);
  if (delta < 0) delta = 0;  // a new copy below the last one's mark
  const Scaled a = ScaleSize(copied);
  const Scaled b = ScaleSize(total);
  const Scaled v = ScaleSpeedKb(delta);
  const std::string line = a.number + (a.large ? "GB/" : "MB/") + b.number + (b.large ? "GB|" : "MB|") + v.number +
                           (v.large ? " MB/s|" : " KB/s|") + FormatRemaining(RemainingSeconds(total - copied, delta));
  const int p = total > 0 ? WholePercent(static_cast<double>(copied) / static_cast<double>(total)) : 0;
  ShowPercent(kDownloadPage, p);
  ui::MainModel().SetText(kDownloadPage.progress, line);
  return p;
}

void CopyDisplayLoop() {
  CopyProgressShared& c = CopyShared();
  while (!c.cancel && plat().Checkpoint()) {
    const int p = CopyDisplayPass();
    // 800 ms in short steps, so that the end of the copy stops the display at once.
    for (int i = 0; i < 8; ++i) {
      plat().Sleep(100);
      if (!plat().Checkpoint()) return;
    }
    plat().ProcessPendingEvents();
    if (p > 98) return;
  }
}

}  // namespace mv::dl
