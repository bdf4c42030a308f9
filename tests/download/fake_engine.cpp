#include "tests/download/fake_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace mv::dl::test {
namespace {

FakeEngine& E() { return *FakeEngine::current; }

void Record(const std::string& call) {
  E().calls.push_back(call);
  E().ticks.push_back(plat().TickCount());
}

XlBool MV_XL_CALL FakeInit() {
  LockGuard g(E().mu);
  Record("init");
  return E().init_result;
}
XlBool MV_XL_CALL FakeUnInit() {
  LockGuard g(E().mu);
  Record("uninit");
  return 1;
}
XlHandle MV_XL_CALL FakeCreate(const void* setup) {
  LockGuard g(E().mu);
  const auto* p = static_cast<const uint8_t*>(setup);
  E().setups.emplace_back(p, p + 26564);
  const XlHandle h = E().next_handle++;
  FakeEngine::Task t;
  const auto& from = E().next_script.empty() ? E().default_script : E().next_script;
  t.script.assign(from.begin(), from.end());
  if (t.script.empty()) t.script.push_back(FakeStatus{});
  E().next_script.clear();
  t.file_name.assign(p + 16532, p + 16532 + 520);  // szFilename, 260 UTF-16 units
  E().tasks[h] = t;
  Record("create:" + std::to_string(h));
  return h;
}
XlBool MV_XL_CALL FakeStart(XlHandle h) {
  LockGuard g(E().mu);
  Record("start:" + std::to_string(h));
  auto it = E().tasks.find(h);
  return it != E().tasks.end() && !it->second.deleted;
}
XlBool MV_XL_CALL FakeStop(XlHandle h) {
  LockGuard g(E().mu);
  Record("stop:" + std::to_string(h));
  return 1;
}
XlBool MV_XL_CALL FakeDelete(XlHandle h) {
  LockGuard g(E().mu);
  Record("delete:" + std::to_string(h));
  auto it = E().tasks.find(h);
  if (it != E().tasks.end()) it->second.deleted = true;
  return 1;
}
XlBool MV_XL_CALL FakeQuery(XlHandle h, void* info) {
  LockGuard g(E().mu);
  Record("query:" + std::to_string(h));
  auto it = E().tasks.find(h);
  FakeStatus s;
  if (it == E().tasks.end() || it->second.deleted) {
    s.stat = kTaskFailed;  // a forgotten task ends the caller's wait
  } else {
    s = it->second.script.front();
    if (it->second.script.size() > 1) it->second.script.pop_front();
  }
  if (!s.answers) return 0;
  if (it != E().tasks.end()) it->second.complete = s.stat == kTaskComplete && !it->second.deleted;
  if (s.stat == kTaskComplete && it != E().tasks.end() && !it->second.deleted && E().on_complete)
    E().on_complete(h);
  auto* b = static_cast<uint8_t*>(info);
  std::memcpy(b + 0, &s.stat, 4);
  std::memcpy(b + 1048, &s.total, 8);
  std::memcpy(b + 1056, &s.done, 8);
  std::memcpy(b + 1064, &s.percent, 4);
  std::memcpy(b + 1152, &s.speed, 4);
  std::memset(b + 8, 0, 520);
  if (it != E().tasks.end()) std::memcpy(b + 8, it->second.file_name.data(), 520);
  return 1;
}

XlBool MV_XL_CALL FakeQueryMd5(XlHandle h, char* hex) {
  LockGuard g(E().mu);  // not recorded: the call sequences tests expect stay those of the seven
  auto it = E().tasks.find(h);
  if (it == E().tasks.end() || !it->second.complete || E().complete_md5.empty()) return 0;
  std::snprintf(hex, 33, "%s", E().complete_md5.c_str());
  return 1;
}

}  // namespace

FakeEngine* FakeEngine::current = nullptr;

FakeEngine::FakeEngine() { current = this; }
FakeEngine::~FakeEngine() { current = nullptr; }

EngineApi FakeEngine::Table() {
  return EngineApi{FakeInit, FakeUnInit, FakeCreate, FakeStart, FakeStop, FakeDelete, FakeQuery, FakeQueryMd5};
}

std::map<std::string, void*> FakeEngine::Exports() {
  const EngineApi t = Table();
  return {{"XL_Init", reinterpret_cast<void*>(t.Init)},
          {"XL_UnInit", reinterpret_cast<void*>(t.UnInit)},
          {"XL_CreateTask", reinterpret_cast<void*>(t.CreateTask)},
          {"XL_StartTask", reinterpret_cast<void*>(t.StartTask)},
          {"XL_StopTask", reinterpret_cast<void*>(t.StopTask)},
          {"XL_DeleteTask", reinterpret_cast<void*>(t.DeleteTask)},
          {"XL_QueryTaskInfoEx", reinterpret_cast<void*>(t.QueryTaskInfoEx)},
          {"XL_QueryTaskMd5", reinterpret_cast<void*>(t.QueryTaskMd5)}};
}

void FakeEngine::SetInitResult(XlBool result) {
  LockGuard g(mu);
  init_result = result;
}
void FakeEngine::ScriptNextTask(std::vector<FakeStatus> statuses) {
  LockGuard g(mu);
  next_script = std::move(statuses);
}
std::vector<std::string> FakeEngine::Calls() {
  LockGuard g(mu);
  return calls;
}
int FakeEngine::Count(const std::string& call) {
  LockGuard g(mu);
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}
std::vector<uint32_t> FakeEngine::Ticks() {
  LockGuard g(mu);
  return ticks;
}
std::vector<std::vector<uint8_t>> FakeEngine::Setups() {
  LockGuard g(mu);
  return setups;
}

}  // namespace mv::dl::test
