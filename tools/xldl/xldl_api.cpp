// The exported calls of xldl.dll over the portable engine: the seven task
// calls and the running digest of a complete task. Handles and
// BOOLs are 32-bit; the records are read and written as packed byte blocks.
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "tools/xldl/api.h"
#include "tools/xldl/engine.h"
#include "tools/xldl/records.h"
#include "tools/xldl/text.h"
#include "tools/xldl/transport_wininet.h"

namespace xldl {
namespace {

Lock g_lock;
std::shared_ptr<Engine> g_engine;
std::map<uint32_t, std::u16string> g_names;  // file name per live handle

std::shared_ptr<Engine> Current() {
  Guard g(g_lock);
  return g_engine;
}

}  // namespace
}  // namespace xldl

using namespace xldl;

extern "C" {

BOOL WINAPI XL_Init(void) {
  Guard g(g_lock);
  if (!g_engine) g_engine = std::make_shared<Engine>(NewWinInetTransport(), EngineConfig::FromEnvironment());
  return TRUE;
}

BOOL WINAPI XL_UnInit(void) {
  std::shared_ptr<Engine> e;
  {
    Guard g(g_lock);
    e.swap(g_engine);
    g_names.clear();
  }
  e.reset();  // stops every task; partial files and control files stay
  return TRUE;
}

DWORD WINAPI XL_CreateTask(const void* setup_block) {
  auto e = Current();
  if (!e || !setup_block) return 0;
  auto setup = std::make_unique<DownTaskSetup>();
  memcpy(setup.get(), setup_block, sizeof(DownTaskSetup));
  std::u16string name;
  TaskParams p;
  if (!ParamsFromSetup(*setup, &p, &name)) return 0;
  uint32_t h = e->CreateTask(p);
  if (h) {
    Guard g(g_lock);
    g_names[h] = name;
  }
  return h;
}

BOOL WINAPI XL_StartTask(DWORD handle) {
  auto e = Current();
  return e && e->StartTask(handle) ? TRUE : FALSE;
}

BOOL WINAPI XL_StopTask(DWORD handle) {
  if (auto e = Current()) e->StopTask(handle);
  return TRUE;
}

BOOL WINAPI XL_DeleteTask(DWORD handle) {
  if (auto e = Current()) e->DeleteTask(handle);
  Guard g(g_lock);
  g_names.erase(handle);
  return TRUE;
}

BOOL WINAPI XL_QueryTaskInfoEx(DWORD handle, void* info_block) {
  if (!info_block) return FALSE;
  TaskStatus st;  // unknown handles and a released engine: state 1
  if (auto e = Current()) e->QueryTask(handle, &st);
  std::u16string name;
  {
    Guard g(g_lock);
    auto it = g_names.find(handle);
    if (it != g_names.end()) name = it->second;
  }
  DownTaskInfo info;
  FillInfo(st, name, &info);
  memcpy(info_block, &info, sizeof info);
  return TRUE;
}

// The MD5 the engine computed while it wrote a complete task's file: 32
// upper-case hexadecimal digits and a terminating zero into md5_hex (33
// bytes). FALSE, md5_hex untouched, while the task is not complete, for an
// unknown handle, and when the engine could not read the file back.
BOOL WINAPI XL_QueryTaskMd5(DWORD handle, char* md5_hex) {
  if (!md5_hex) return FALSE;
  auto e = Current();
  if (!e) return FALSE;
  TaskStatus st;
  e->QueryTask(handle, &st);
  if (st.stat != kStatDone || st.md5.size() != 32) return FALSE;
  memcpy(md5_hex, st.md5.c_str(), 33);
  return TRUE;
}

}  // extern "C"
