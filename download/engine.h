// The binding to the download engine "xldl.dll": its seven calls, and the
// running digest of a finished download, as a table of function pointers,
// resolved by export name from the library in the work directory the first
// time each is needed and cached for the rest of the run. Tests bind a table
// of their own instead.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

#if defined(_WIN32)
#define MV_XL_CALL __stdcall
#else
#define MV_XL_CALL
#endif

namespace mv::dl {

using XlHandle = uint32_t;  // the engine's task handles are 32-bit
using XlBool = int32_t;

// Task states that matter to the system; every other value means "going on".
enum : int32_t {
  kTaskFailed = 1,
  kTaskComplete = 4,
};

struct EngineApi {
  XlBool(MV_XL_CALL* Init)();
  XlBool(MV_XL_CALL* UnInit)();
  XlHandle(MV_XL_CALL* CreateTask)(const void* setup);
  XlBool(MV_XL_CALL* StartTask)(XlHandle task);
  XlBool(MV_XL_CALL* StopTask)(XlHandle task);
  XlBool(MV_XL_CALL* DeleteTask)(XlHandle task);
  XlBool(MV_XL_CALL* QueryTaskInfoEx)(XlHandle task, void* info);
  // The MD5 the engine computed while it wrote a complete task's file: 32
  // upper-case hexadecimal digits and a zero into 33 bytes; 0 when it has
  // none. May be missing (null): every download is then checked by a full
  // pass over the file.
  XlBool(MV_XL_CALL* QueryTaskMd5)(XlHandle task, char* md5_hex);
};

// Every export name the binding looks up, in the order of EngineApi. The
// first kRequiredEngineExports must exist; the rest are used when present.
constexpr int kEngineExportCount = 8;
constexpr int kRequiredEngineExports = 7;
extern const char* const kEngineExports[kEngineExportCount];
// The library's file name, looked for in the work directory first.
extern const char kEngineLibrary[];

// Binds a ready table (tests: a fake engine, or the engine's portable core).
// Every required entry must be set. Forgets any library binding and the init state.
void BindEngine(const EngineApi& table);
// Back to loading "xldl.dll" on first use (the product's binding).
void BindEngineLibrary();
// True once XL_Init has returned non-zero in this run.
bool EngineStarted();

// The seven calls. The first use of each resolves it (the library is looked
// for in the library folder of the process-wide values first); a missing
// library or export ends the program with the engine error.
XlBool XlInit();
XlBool XlUnInit();
XlHandle XlCreateTask(const void* setup);
XlBool XlStartTask(XlHandle task);
XlBool XlStopTask(XlHandle task);
XlBool XlDeleteTask(XlHandle task);
XlBool XlQueryTaskInfoEx(XlHandle task, void* info);
// The engine's digest of a complete task (upper case); "" when it has none.
std::string XlQueryTaskMd5(XlHandle task);

// The engine start of the survey: XL_Init once per run (a later call returns
// true at once). When it fails the engine error is shown and the program ends.
bool StartEngine();

// "程序运行出错，请关闭杀毒软件后再试。" (caption "错误", error icon) and the end
// of the program.
[[noreturn]] void EngineFatal();

// The window that owns the system's message boxes (0 until the view sets it).
void SetMessageOwner(WindowRef owner);
WindowRef MessageOwner();

}  // namespace mv::dl
