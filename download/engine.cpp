#include "download/engine.h"

#include <atomic>
#include <cstdlib>

#include "core/state.h"
#include "platform/sync.h"

namespace mv::dl {

const char* const kEngineExports[kEngineExportCount] = {
    "XL_Init",     "XL_UnInit",     "XL_CreateTask",      "XL_StartTask",
    "XL_StopTask", "XL_DeleteTask", "XL_QueryTaskInfoEx", "XL_QueryTaskMd5"};
const char kEngineLibrary[] = "xldl.dll";

namespace {

// The table as an array of untyped entries, so one resolver serves all seven.
constexpr int kInit = 0, kUnInit = 1, kCreate = 2, kStart = 3, kStop = 4, kDelete = 5, kQuery = 6, kMd5 = 7;

struct Binding {
  Mutex mu;
  bool from_library = true;
  Handle library = kNoHandle;
  std::atomic<void*> fn[kEngineExportCount] = {};
  std::atomic<bool> looked_up[kEngineExportCount] = {};  // optional entries: found or not
  std::atomic<bool> started{false};
  std::atomic<WindowRef> owner{0};
};

Binding& B() {
  static Binding b;
  return b;
}

void* Resolve(int index) {
  Binding& b = B();
  const bool required = index < kRequiredEngineExports;
  void* f = b.fn[index].load(std::memory_order_acquire);
  if (f || (!required && b.looked_up[index].load(std::memory_order_acquire))) return f;
  LockGuard g(b.mu);
  f = b.fn[index].load(std::memory_order_relaxed);
  if (f || (!required && b.looked_up[index])) return f;
  if (!b.from_library) {
    if (required) EngineFatal();  // a test table with a hole: same end as a missing export
    b.looked_up[index].store(true, std::memory_order_release);
    return nullptr;
  }
  if (b.library == kNoHandle) b.library = plat().LoadLibraryFrom(LibraryFolder(), kEngineLibrary);
  if (b.library == kNoHandle) EngineFatal();
  f = plat().FindFunction(b.library, kEngineExports[index]);
  if (!f && required) EngineFatal();
  b.fn[index].store(f, std::memory_order_release);
  b.looked_up[index].store(true, std::memory_order_release);
  return f;
}

template <typename Fn>
Fn Get(int index) {
  return reinterpret_cast<Fn>(Resolve(index));
}

}  // namespace

void BindEngine(const EngineApi& table) {
  Binding& b = B();
  LockGuard g(b.mu);
  b.from_library = false;
  b.library = kNoHandle;
  void* entries[kEngineExportCount] = {
      reinterpret_cast<void*>(table.Init),       reinterpret_cast<void*>(table.UnInit),
      reinterpret_cast<void*>(table.CreateTask), reinterpret_cast<void*>(table.StartTask),
      reinterpret_cast<void*>(table.StopTask),   reinterpret_cast<void*>(table.DeleteTask),
      reinterpret_cast<void*>(table.QueryTaskInfoEx), reinterpret_cast<void*>(table.QueryTaskMd5)};
  for (int i = 0; i < kEngineExportCount; ++i) {
    b.fn[i].store(entries[i]);
    b.looked_up[i] = true;
  }
  b.started = false;
}

void BindEngineLibrary() {
  Binding& b = B();
  LockGuard g(b.mu);
  b.from_library = true;
  b.library = kNoHandle;  // a library loaded before stays loaded until the process ends
  for (auto& f : b.fn) f.store(nullptr);
  for (auto& l : b.looked_up) l.store(false);
  b.started = false;
}

bool EngineStarted() { return B().started; }

XlBool XlInit() {
  const XlBool ok = Get<decltype(EngineApi::Init)>(kInit)();
  if (ok) B().started = true;
  return ok;
}
XlBool XlUnInit() { return Get<decltype(EngineApi::UnInit)>(kUnInit)(); }
XlHandle XlCreateTask(const void* setup) { return Get<decltype(EngineApi::CreateTask)>(kCreate)(setup); }
XlBool XlStartTask(XlHandle task) { return Get<decltype(EngineApi::StartTask)>(kStart)(task); }
XlBool XlStopTask(XlHandle task) { return Get<decltype(EngineApi::StopTask)>(kStop)(task); }
XlBool XlDeleteTask(XlHandle task) { return Get<decltype(EngineApi::DeleteTask)>(kDelete)(task); }
XlBool XlQueryTaskInfoEx(XlHandle task, void* info) {
  return Get<decltype(EngineApi::QueryTaskInfoEx)>(kQuery)(task, info);
}

std::string XlQueryTaskMd5(XlHandle task) {
  const auto query = Get<decltype(EngineApi::QueryTaskMd5)>(kMd5);
  char hex[33] = {};
  if (!query || !query(task, hex)) return {};
  // Only a well-formed digest counts: anything else means "none".
  for (int i = 0; i < 32; ++i) {
    const char c = hex[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return {};
  }
  return std::string(hex, 32);
}

bool StartEngine() {
  if (EngineStarted()) return true;
  if (!XlInit()) EngineFatal();
  return true;
}

void EngineFatal() {
  plat().ShowMessageBox("程序运行出错，请关闭杀毒软件后再试。", kMbIconError, "错误", MessageOwner());
  plat().EndProcess(1);
  std::abort();  // not reached: the platform ends the process
}

void SetMessageOwner(WindowRef owner) { B().owner = owner; }
WindowRef MessageOwner() { return B().owner; }

}  // namespace mv::dl
