// The download engine: tasks that fetch one URL into one file, over several
// connections when the server serves byte ranges, resuming after a stop, a
// crash or a dropped connection. Portable; the transport is passed in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "tools/xldl/response_head.h"
#include "tools/xldl/sys.h"
#include "tools/xldl/transport.h"

namespace xldl {

struct EngineConfig {
  int max_connections = 8;         // per task, when the server serves ranges
  int64_t min_split = 1 << 20;     // a part is split only if both halves get this much
  // More connections are opened only while the task is slower than this
  // (bytes per second); 0: always. A link that one connection fills gains
  // nothing from more of them.
  int64_t fast_link = 32 << 20;
  int stall_ms = 30000;            // a connection with no byte for this long is dropped
  int retry_base_ms = 1000;        // first pause after a failure; doubles per failure
  int retry_max_ms = 30000;
  int max_retries = 10;            // failures in a row without a new byte
  int max_wrong_length = 5;        // answers whose length contradicts the others
  int max_restarts = 5;            // starts from byte 0 (server ignored a Range)
  int save_interval_ms = 1000;     // control file refresh while transferring
  int speed_window_ms = 4000;      // speed is averaged over this window
  bool running_md5 = true;         // hash the file while it is written
  int64_t corrupt_at = -1;         // tests: the byte at this offset is written damaged

  // Defaults, overridden by MV_XLDL_STALL_MS, MV_XLDL_RETRY_MS and
  // MV_XLDL_CONNECTIONS when they are set (tests use short times).
  static EngineConfig FromEnvironment();
};

struct TaskParams {
  std::string url;
  std::string path;  // full path of the file, UTF-8
  bool resume = true;
};

struct TaskStatus {
  int32_t stat = 1;
  int32_t fail_code = 0;
  int64_t total = 0;     // 0 while unknown
  int64_t done = 0;      // bytes of the file on disk
  float percent = 0;     // done / total
  int32_t speed = 0;     // bytes per second, averaged
  int32_t connections = 0;
  int32_t segments = 0;
  int64_t received = 0;  // bytes that came over the network for this task
  int32_t requests = 0;  // requests sent for this task
  int64_t hashed = 0;    // bytes from byte 0 read back into the running digest
  // Once complete: the file's MD5 as 32 upper-case hexadecimal digits, read
  // back from what was written; "" when it could not be computed.
  std::string md5;
};

class Task;

class Engine {
 public:
  Engine(std::unique_ptr<Transport> transport, const EngineConfig& config);
  ~Engine();  // stops every task; files and control files stay

  // 0 when the parameters cannot be used (no URL, no path) or another live
  // task already writes to the same file.
  uint32_t CreateTask(const TaskParams& params);
  bool StartTask(uint32_t handle);  // starts, or continues a stopped task
  void StopTask(uint32_t handle);   // pauses; unknown handles are ignored
  void DeleteTask(uint32_t handle); // forgets the task, leaves its files
  // Always true. An unknown or deleted handle reports state 1, so that a
  // caller waiting for completion or failure stops waiting.
  bool QueryTask(uint32_t handle, TaskStatus* status);

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

 private:
  std::shared_ptr<Task> Find(uint32_t handle);

  std::unique_ptr<Transport> transport_;
  EngineConfig config_;
  Lock lock_;
  std::map<uint32_t, std::shared_ptr<Task>> tasks_;
  uint32_t next_handle_ = 0x1001;
};

}  // namespace xldl
