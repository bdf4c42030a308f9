#include "tools/xldl/engine.h"

#include <cstdlib>

#include "tools/xldl/task.h"

namespace xldl {

namespace {

int EnvInt(const char* name, int fallback, int lo, int hi) {
  std::string v = GetEnv(name);
  if (v.empty()) return fallback;
  char* end = nullptr;
  long n = strtol(v.c_str(), &end, 10);
  if (end == v.c_str() || *end != 0 || n < lo || n > hi) return fallback;
  return int(n);
}

}  // namespace

EngineConfig EngineConfig::FromEnvironment() {
  EngineConfig c;
  c.stall_ms = EnvInt("MV_XLDL_STALL_MS", c.stall_ms, 100, 3600000);
  c.retry_base_ms = EnvInt("MV_XLDL_RETRY_MS", c.retry_base_ms, 1, 600000);
  if (c.retry_max_ms < c.retry_base_ms) c.retry_max_ms = c.retry_base_ms;
  c.max_connections = EnvInt("MV_XLDL_CONNECTIONS", c.max_connections, 1, 32);
  return c;
}



// ---------------------------------------------------------------------------

Engine::Engine(std::unique_ptr<Transport> transport, const EngineConfig& config)
    : transport_(std::move(transport)), config_(config) {}

Engine::~Engine() {
  std::map<uint32_t, std::shared_ptr<Task>> tasks;
  {
    Guard g(lock_);
    tasks.swap(tasks_);
  }
  for (auto& t : tasks) t.second->Stop();
}

std::shared_ptr<Task> Engine::Find(uint32_t handle) {
  Guard g(lock_);
  auto it = tasks_.find(handle);
  return it == tasks_.end() ? nullptr : it->second;
}

uint32_t Engine::CreateTask(const TaskParams& params) {
  if (params.url.empty() || params.path.empty()) return 0;
  Guard g(lock_);
  for (auto& t : tasks_) {
    if (t.second->path() == params.path) return 0;
  }
  uint32_t h = next_handle_++;
  if (next_handle_ == 0) next_handle_ = 0x1001;
  tasks_[h] = std::make_shared<Task>(*transport_, config_, params);
  return h;
}

bool Engine::StartTask(uint32_t handle) {
  auto t = Find(handle);
  return t && t->Start();
}

void Engine::StopTask(uint32_t handle) {
  if (auto t = Find(handle)) t->Stop();
}

void Engine::DeleteTask(uint32_t handle) {
  std::shared_ptr<Task> t;
  {
    Guard g(lock_);
    auto it = tasks_.find(handle);
    if (it == tasks_.end()) return;
    t = it->second;
    tasks_.erase(it);
  }
  t->Stop();
}

bool Engine::QueryTask(uint32_t handle, TaskStatus* status) {
  auto t = Find(handle);
  if (!t) {
    *status = TaskStatus();
    status->stat = kStatFailed;
    return true;
  }
  t->Status(status);
  return true;
}

}  // namespace xldl
