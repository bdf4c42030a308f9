#include "core/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "core/state.h"
#include "platform/sync.h"

namespace mv {
namespace {

// Opened and closed under the log's lock (below); read by every thread.
std::atomic<Handle> g_log{kNoHandle};

std::function<void()>& ShutDownHook() {
  static std::function<void()> hook;
  return hook;
}

Text Number(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", v);
  return buf;
}

}  // namespace

Text FormatLogTimestamp(const LocalTime& t) {
  Text s = Number(t.year) + "年" + Number(t.month) + "月" + Number(t.day) + "日";
  if (t.second != 0) {
    s += Number(t.hour) + "时" + Number(t.minute) + "分" + Number(t.second) + "秒";
  } else if (t.minute != 0) {
    s += Number(t.hour) + "时" + Number(t.minute) + "分";
  } else if (t.hour != 0) {
    s += Number(t.hour) + "时";
  }
  return s;
}

Text LogTimestampNow() { return FormatLogTimestamp(plat().Now()); }

// One writer at a time: the system's appends are not atomic everywhere (Wine
// places two threads' lines at the same end), and a line written over is a
// lost line of the log a user sends in.
static Mutex& LogLock() {
  static Mutex m;
  return m;
}

void OpenLog() {
  LockGuard g(LogLock());
  if (g_log != kNoHandle || WorkDir().empty()) return;
  g_log = plat().OpenAppendShared(WorkDir() + "MV_OSR.log");
}

bool LogIsOpen() { return g_log != kNoHandle; }

void Log(const Text& message) {
  if (g_log == kNoHandle) return;
  Text line = LogTimestampNow();
  line += "     ";
  line += message;
  line += "\r\n";
  LockGuard g(LogLock());
  if (g_log != kNoHandle) plat().Write(g_log, line.data(), static_cast<uint32_t>(line.size()));  // a failed write is ignored
}

void LogResult(bool ok) { Log(ok ? "真" : "假"); }

void CloseLog() {
  LockGuard g(LogLock());
  if (g_log == kNoHandle) return;
  plat().Close(g_log);
  g_log = kNoHandle;
}

void SetShutDownHook(std::function<void()> hook) { ShutDownHook() = std::move(hook); }

namespace {
std::function<int()>& ShutDownExitCode() {
  static std::function<int()> code;
  return code;
}
}  // namespace

void SetShutDownExitCode(std::function<int()> code) { ShutDownExitCode() = std::move(code); }

void ShutDown() {
  if (ShutDownHook()) ShutDownHook()();
  Log("Main_END");
  plat().EndProcess(ShutDownExitCode() ? ShutDownExitCode()() : 0);
  std::abort();  // not reached: the platform ends the process
}

}  // namespace mv
