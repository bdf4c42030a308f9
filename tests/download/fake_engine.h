// An in-process download engine for tests: the seven calls with scripted task
// states, recording every call. One instance at a time (the calls are plain
// functions, as the engine's are).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "download/engine.h"
#include "platform/sync.h"

namespace mv::dl::test {

struct FakeStatus {
  bool answers = true;  // false: the query returns 0
  int32_t stat = 0;
  int64_t total = 0;
  int64_t done = 0;
  float percent = 0.0f;
  int32_t speed = 0;
};

class FakeEngine {
 public:
  FakeEngine();
  ~FakeEngine();

  // The table to bind, or to register as a fake library's exports.
  static EngineApi Table();
  static std::map<std::string, void*> Exports();

  // XL_Init's answer (default 1).
  void SetInitResult(XlBool result);
  // Answers of the next queries of the next task created, in order; the last one repeats.
  void ScriptNextTask(std::vector<FakeStatus> statuses);

  // Every call as "init", "uninit", "create:H", "start:H", "stop:H",
  // "delete:H", "query:H".
  std::vector<std::string> Calls();
  int Count(const std::string& call);
  // The setup blocks passed to XL_CreateTask, in order.
  std::vector<std::vector<uint8_t>> Setups();
  // The platform tick count at each call (same order as Calls()).
  std::vector<uint32_t> Ticks();

  struct Task {
    std::deque<FakeStatus> script;
    std::vector<uint8_t> file_name;  // the setup's szFilename bytes, echoed by queries
    bool deleted = false;
    bool complete = false;  // the last query said 4
  };

  // For the table's functions.
  static FakeEngine* current;
  Mutex mu;
  XlBool init_result = 1;
  std::vector<FakeStatus> next_script;
  // The script of tasks created without one of their own.
  std::vector<FakeStatus> default_script;
  std::map<XlHandle, Task> tasks;
  // What XL_QueryTaskMd5 gives for a task whose last query said complete
  // ("" : none).
  std::string complete_md5;
  XlHandle next_handle = 101;
  // Called (under the lock) when a query reports a task complete: tests put
  // the "downloaded" file in place from here.
  std::function<void(XlHandle)> on_complete;
  std::vector<std::string> calls;
  std::vector<uint32_t> ticks;
  std::vector<std::vector<uint8_t>> setups;
};

}  // namespace mv::dl::test
