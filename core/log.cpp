#include "core/log.h"

#include <cstdio>
#include <cstdlib>

#include "core/state.h"

namespace mv {
namespace {

// Written once at start-up before any worker exists; read by every thread.
Handle g_log = kNoHandle;

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

void OpenLog() {
  if (g_log != kNoHandle || WorkDir().empty()) return;
  g_log = plat().OpenAppendShared(WorkDir() + "MV_OSR.log");
}

bool LogIsOpen() { return g_log != kNoHandle; }

void Log(const Text& message) {
  const Handle file = g_log;
  if (file == kNoHandle) return;
  Text line = LogTimestampNow();
  line += "     ";
  line += message;
  line += "\r\n";
  plat().Write(file, line.data(), static_cast<uint32_t>(line.size()));  // a failed write is ignored
}

void LogResult(bool ok) { Log(ok ? "真" : "假"); }

void CloseLog() {
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
