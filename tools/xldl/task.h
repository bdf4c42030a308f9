// One download task of the engine: its controller thread (where to begin,
// the control file, the end) in task.cpp, its connections (how many, which
// part each fetches, what a response head says) in task_connections.cpp.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tools/xldl/control_file.h"
#include "tools/xldl/engine.h"
#include "tools/xldl/prefix_digest.h"
#include "tools/xldl/records.h"

namespace xldl {

enum Outcome {
  kPending,
  kSegmentDone,
  kRetry,         // dropped, stalled, refused, 5xx, short body: try again later
  kWrongLength,   // the answer's length contradicts what is known
  kStartOver,     // the server ignored the Range, or the file changed: from byte 0
  kFatalHttp,     // 4xx: no retry can help
  kFatalFile,     // the file cannot be written
};

struct Segment : SegmentState {
  int owner = -1;  // index of the connection working on it
};

class Task {
 public:
  Task(Transport& transport, const EngineConfig& config, const TaskParams& params)
      : transport_(transport), cfg_(config), params_(params) {}
  ~Task() { Stop(); }

  const std::string& path() const { return params_.path; }

  bool Start();
  void Stop();
  void Status(TaskStatus* s);

 private:
  struct Conn {
    Thread thread;
    std::unique_ptr<HttpStream> stream;
    int seg = -1;
    std::atomic<int64_t> last_ms{0};
    std::atomic<bool> finished{false};
    Outcome outcome = kPending;
    int http_status = 0;
  };

  int64_t DoneLocked() const;

  // Bytes from byte 0 up to the first one not yet on disk: the segments tile
  // the file, so the walk goes from each segment to the one at its end
  // (empty ones, which a control file may hold, lead nowhere).
  int64_t PrefixLocked() const;
  void StartDigest();
  ControlState SnapshotLocked() const;

  // ---- the controller thread ----

  void Run();

  // Decides where to begin (the control file's segments, the end of a
  // partial file, or byte 0), writes the control file that says so, and only
  // then opens the file: from its first byte to its last, an unfinished
  // download always has its control file beside it.
  bool Prepare();
  bool Complete();
  void Finalize();

  // Ends the controller: every connection closed, progress saved.
  void Finish(int stat, int code);
  void CloseAll();

  // What is on disk reaches the disk before the control file says so.
  void SaveProgress();
  bool StartOver();
  void Reap(int64_t now);

  // Opens connections up to the limit: first on parts nobody works on, then
  // by splitting the part with the most left to fetch.
  bool Launch();

  // Whether another connection may help: the speed of the last window is
  // known and below the fast-link mark.
  bool WantMoreLocked() const;
  bool Deciding();
  void SampleSpeed(int64_t now);

  // ---- one connection's thread ----

  void ConnMain(Conn* c);
  Outcome Transfer(Conn* c);
  bool Write(int64_t pos, const char* data, size_t n);

  // Decides from the response head whether the body is the bytes asked for,
  // and takes what it says of the file into the task.
  Outcome CheckHead(const HttpHead& h, size_t seg, int64_t from, int64_t* end);

  Transport& transport_;
  const EngineConfig cfg_;
  TaskParams params_;

  Lock op_lock_;  // Start and Stop, one at a time
  Thread controller_;
  std::atomic<bool> stop_{false};
  Event wake_;

  // Controller-only state.
  std::unique_ptr<File> file_;
  std::vector<std::unique_ptr<Conn>> conns_;
  int failures_ = 0, wrong_length_ = 0, restarts_ = 0;
  int64_t next_launch_ = 0;

  // Shared with the connections and the queries, under lock_.
  Lock lock_;
  int32_t stat_ = kStatIdle;
  int32_t fail_code_ = kFailNone;
  bool controller_done_ = false;
  std::vector<Segment> segs_;
  int64_t total_ = -1;
  bool total_confirmed_ = false;  // a response of this run agreed with total_
  bool ranges_ok_ = false;
  bool fatal_ = false, start_over_ = false;
  int fatal_code_ = 0, last_http_ = 0;
  int64_t received_ = 0;
  int32_t requests_ = 0;
  int32_t active_ = 0;
  int32_t speed_ = 0;
  std::deque<std::pair<int64_t, int64_t>> samples_;
  int64_t first_byte_ms_ = -1;
  std::string md5_;  // the digest of the completed file

  PrefixDigest digest_;  // its own thread and lock
};

}  // namespace xldl
