#include "tools/xldl/engine.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <vector>

#include "tools/xldl/control_file.h"
#include "tools/xldl/prefix_digest.h"
#include "tools/xldl/records.h"

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

namespace {

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

}  // namespace

class Task {
 public:
  Task(Transport& transport, const EngineConfig& config, const TaskParams& params)
      : transport_(transport), cfg_(config), params_(params) {}
  ~Task() { Stop(); }

  const std::string& path() const { return params_.path; }

  bool Start() {
    Guard op(op_lock_);
    {
      Guard g(lock_);
      if (stat_ == kStatDone) return true;
      if (controller_.Running() && !controller_done_) return true;
    }
    controller_.Join();
    {
      Guard g(lock_);
      stat_ = kStatRunning;
      fail_code_ = kFailNone;
      controller_done_ = false;
    }
    stop_ = false;
    if (!controller_.Start([this] { Run(); })) {
      Guard g(lock_);
      stat_ = kStatFailed;
      return false;
    }
    return true;
  }

  void Stop() {
    Guard op(op_lock_);
    stop_ = true;
    wake_.Set();
    controller_.Join();
  }

  void Status(TaskStatus* s) {
    Guard g(lock_);
    s->stat = stat_;
    s->fail_code = fail_code_;
    s->total = total_ > 0 ? total_ : 0;
    s->done = DoneLocked();
    s->percent = stat_ == kStatDone ? 1.0f : (total_ > 0 ? float(double(s->done) / double(total_)) : 0.0f);
    s->speed = stat_ == kStatRunning ? speed_ : 0;
    s->connections = active_;
    s->segments = int32_t(segs_.size());
    s->received = received_;
    s->requests = requests_;
    s->hashed = digest_.Hashed();
    s->md5 = stat_ == kStatDone ? md5_ : std::string();
  }

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

  int64_t DoneLocked() const {
    int64_t d = 0;
    for (const Segment& g : segs_) d += g.pos - g.start;
    return d;
  }

  // Bytes from byte 0 up to the first one not yet on disk: the segments tile
  // the file, so the walk goes from each segment to the one at its end
  // (empty ones, which a control file may hold, lead nowhere).
  int64_t PrefixLocked() const {
    int64_t at = 0;
    for (;;) {
      const Segment* next = nullptr;
      for (const Segment& g : segs_) {
        if (g.start == at && g.end != at) {
          next = &g;
          break;
        }
      }
      if (!next) return at;
      if (next->end < 0 || next->pos < next->end) return next->pos;
      at = next->end;
    }
  }

  void StartDigest() {
    if (!cfg_.running_md5) return;
    digest_.Start(params_.path, [this] {
      Guard g(lock_);
      return PrefixLocked();
    });
  }

  ControlState SnapshotLocked() const {
    ControlState cs;
    cs.total = total_;
    for (const Segment& g : segs_) cs.segments.push_back(g);
    return cs;
  }

  // ---- the controller thread ----

  void Run() {
    if (!Prepare()) {
      Finish(kStatFailed, kFailFile);
      return;
    }
    StartDigest();
    int64_t last_done = -1;
    int64_t last_save = NowMs();
    int64_t last_saved_received = -1;
    while (true) {
      wake_.Reset();
      int64_t now = NowMs();
      if (stop_) {
        Finish(kStatStopped, kFailNone);
        return;
      }
      Reap(now);
      if (fatal_) {
        Finish(kStatFailed, fatal_code_);
        return;
      }
      if (start_over_) {
        if (!StartOver()) return;
        continue;
      }
      {
        Guard g(lock_);
        int64_t d = received_;
        if (d != last_done) {
          if (last_done >= 0) failures_ = 0;
          last_done = d;
        }
      }
      if (failures_ > cfg_.max_retries) {
        Finish(kStatFailed, last_http_ >= 500 ? last_http_ : kFailRetries);
        return;
      }
      if (conns_.empty() && Complete()) {
        Finalize();
        return;
      }
      for (auto& c : conns_) {
        if (!c->finished && now - c->last_ms > cfg_.stall_ms) {
          c->last_ms = now;  // one cancel per stall
          c->stream->Cancel();
        }
      }
      if (now >= next_launch_ && !Launch()) {
        Finish(kStatFailed, kFailFile);
        return;
      }
      if (now - last_save >= cfg_.save_interval_ms) {
        int64_t r;
        {
          Guard g(lock_);
          r = received_;
        }
        if (r != last_saved_received) {
          SaveProgress();
          last_saved_received = r;
        }
        last_save = now;
      }
      SampleSpeed(now);
      // While it is open whether more connections would help, look often.
      wake_.Wait(Deciding() ? 10 : 100);
    }
  }

  // Decides where to begin (the control file's segments, the end of a
  // partial file, or byte 0), writes the control file that says so, and only
  // then opens the file: from its first byte to its last, an unfinished
  // download always has its control file beside it.
  bool Prepare() {
    {
      Guard g(lock_);
      segs_.clear();
      total_ = -1;
      ranges_ok_ = false;
      total_confirmed_ = false;
      failures_ = wrong_length_ = restarts_ = 0;
      next_launch_ = 0;
      fatal_ = start_over_ = false;
      last_http_ = 0;
      samples_.clear();
      first_byte_ms_ = -1;
      speed_ = 0;
      md5_.clear();
    }
    bool fresh = !params_.resume;
    params_.resume = true;  // later starts of this task continue what this one writes
    ControlState cs;
    int64_t size = FileSize(params_.path);
    if (size < 0) size = 0;
    if (!fresh) {
      if (LoadControl(params_.path, &cs)) {
        int64_t furthest = 0;
        for (const SegmentState& g : cs.segments) {
          if (g.pos > g.start) furthest = std::max(furthest, g.pos);
        }
        // A file shorter than its control file says has lost its data.
        fresh = furthest > size;
      } else if (FileSize(ControlPath(params_.path)) >= 0) {
        // A control file that cannot be read: which parts are on disk is
        // unknown, so nothing of the file can be trusted.
        fresh = true;
      } else {
        // Without a control file the file holds one contiguous run from
        // byte 0 (a file this engine finished, or one from elsewhere).
        cs.total = -1;
        cs.segments = {SegmentState{0, size, -1}};
      }
    }
    if (fresh) {
      cs.total = -1;
      cs.segments = {SegmentState{0, 0, -1}};
    }
    if (!SaveControl(params_.path, cs)) return false;
    file_ = File::OpenOrCreate(params_.path);
    if (!file_ || file_->Size() < 0) return false;
    if (fresh && !file_->SetSize(0)) return false;
    Guard g(lock_);
    total_ = cs.total;
    for (const SegmentState& st : cs.segments) {
      Segment seg;
      static_cast<SegmentState&>(seg) = st;
      segs_.push_back(seg);
    }
    return true;
  }

  bool Complete() {
    Guard g(lock_);
    if (total_ < 0) return false;
    for (const Segment& s : segs_) {
      if (s.end < 0 || s.pos < s.end) return false;
    }
    return DoneLocked() == total_;
  }

  void Finalize() {
    bool ok = file_->Flush();
    int64_t total;
    {
      Guard g(lock_);
      total = total_;
    }
    // Longer than the server's file (an older, longer file was resumed over):
    // cut. Shorter would mean a part never arrived: never pad it.
    int64_t size = file_->Size();
    if (ok && size > total) ok = file_->SetSize(total);
    ok = ok && file_->Size() == total;
    if (!ok) {
      Finish(kStatFailed, kFailFile);
      return;
    }
    // The last blocks of the running digest. Without it (it could not read
    // the file back) the caller checks the file itself.
    std::string md5;
    if (!digest_.Complete(total, &md5)) md5.clear();
    file_.reset();
    RemoveControl(params_.path);
    Guard g(lock_);
    md5_ = md5;
    stat_ = kStatDone;
    speed_ = 0;
    controller_done_ = true;
  }

  // Ends the controller: every connection closed, progress saved.
  void Finish(int stat, int code) {
    CloseAll();
    digest_.Stop();
    if (file_) {
      SaveProgress();
      file_.reset();
    }
    Guard g(lock_);
    stat_ = stat;
    fail_code_ = code;
    speed_ = 0;
    controller_done_ = true;
  }

  void CloseAll() {
    for (auto& c : conns_) c->stream->Cancel();
    for (auto& c : conns_) c->thread.Join();
    Guard g(lock_);
    for (Segment& s : segs_) s.owner = -1;
    conns_.clear();
    active_ = 0;
  }

  // What is on disk reaches the disk before the control file says so.
  void SaveProgress() {
    ControlState cs;
    {
      Guard g(lock_);
      cs = SnapshotLocked();
    }
    if (file_->Flush()) SaveControl(params_.path, cs);
  }

  bool StartOver() {
    CloseAll();
    digest_.Stop();
    start_over_ = false;
    if (++restarts_ > cfg_.max_restarts) {
      Finish(kStatFailed, kFailUnsupported);
      return false;
    }
    ControlState fresh;
    fresh.segments = {SegmentState{0, 0, -1}};
    if (!SaveControl(params_.path, fresh) || !file_->SetSize(0)) {
      Finish(kStatFailed, kFailFile);
      return false;
    }
    {
      Guard g(lock_);
      segs_.clear();
      Segment seg;
      seg.end = -1;
      segs_.push_back(seg);
      total_ = -1;
      total_confirmed_ = false;
      ranges_ok_ = false;
    }
    StartDigest();
    return true;
  }

  void Reap(int64_t now) {
    for (size_t i = 0; i < conns_.size();) {
      Conn& c = *conns_[i];
      if (!c.finished) {
        ++i;
        continue;
      }
      c.thread.Join();
      bool failed = false;
      {
        Guard g(lock_);
        if (c.seg >= 0) segs_[size_t(c.seg)].owner = -1;
        switch (c.outcome) {
          case kSegmentDone:
            break;
          case kWrongLength:
            if (++wrong_length_ >= cfg_.max_wrong_length) {
              fatal_ = true;
              fatal_code_ = kFailWrongLength;
            }
            failed = true;
            break;
          case kStartOver:
            start_over_ = true;
            break;
          case kFatalHttp:
            fatal_ = true;
            fatal_code_ = c.http_status;
            break;
          case kFatalFile:
            fatal_ = true;
            fatal_code_ = kFailFile;
            break;
          default:
            failed = true;
            break;
        }
        if (c.http_status) last_http_ = c.http_status;
      }
      if (failed && !stop_) {
        ++failures_;
        int64_t pause = cfg_.retry_base_ms;
        for (int k = 1; k < failures_ && pause < cfg_.retry_max_ms; ++k) pause *= 2;
        next_launch_ = now + std::min<int64_t>(pause, cfg_.retry_max_ms);
      }
      // Indices of the remaining connections move down; fix the owners.
      conns_.erase(conns_.begin() + long(i));
      Guard g(lock_);
      for (Segment& s : segs_) s.owner = -1;
      for (size_t k = 0; k < conns_.size(); ++k) {
        if (conns_[k]->seg >= 0) segs_[size_t(conns_[k]->seg)].owner = int(k);
      }
      active_ = int(conns_.size());
    }
  }

  // Opens connections up to the limit: first on parts nobody works on, then
  // by splitting the part with the most left to fetch.
  bool Launch() {
    while (true) {
      int seg = -1;
      bool split = false;
      {
        Guard g(lock_);
        int limit = ranges_ok_ ? cfg_.max_connections : 1;
        if (int(conns_.size()) >= limit) return true;
        if (!conns_.empty() && !WantMoreLocked()) return true;
        for (size_t i = 0; i < segs_.size(); ++i) {
          const Segment& s = segs_[i];
          if (s.owner < 0 && (s.end < 0 || s.pos < s.end)) {
            seg = int(i);
            break;
          }
        }
        if (seg < 0 && ranges_ok_ && total_ >= 0) {
          int best = -1;
          int64_t best_left = 0;
          for (size_t i = 0; i < segs_.size(); ++i) {
            const Segment& s = segs_[i];
            if (s.end >= 0 && s.end - s.pos > best_left) {
              best_left = s.end - s.pos;
              best = int(i);
            }
          }
          if (best >= 0 && best_left >= 2 * cfg_.min_split) {
            // Into as many equal parts as there are free connections (plus
            // the one already on it), so that they all end at about the
            // same time.
            int64_t parts = std::min<int64_t>(limit - int(conns_.size()) + 1, best_left / cfg_.min_split);
            int64_t piece = best_left / parts;
            int64_t from = segs_[size_t(best)].pos, end = segs_[size_t(best)].end;
            int64_t cut = end;
            for (int64_t k = parts - 1; k >= 1; --k) {
              int64_t at = from + k * piece;
              if (at > 65536) at -= at % 65536;
              if (at <= from || at >= cut) continue;
              Segment n;
              n.start = n.pos = at;
              n.end = cut;
              segs_.push_back(n);
              cut = at;
            }
            if (cut != end) {
              segs_[size_t(best)].end = cut;
              seg = int(segs_.size()) - 1;
              split = true;
            }
          }
        }
        if (seg < 0) return true;
      }
      // A new place in the file is written only after the control file
      // knows about it.
      if (split) {
        ControlState cs;
        {
          Guard g(lock_);
          cs = SnapshotLocked();
        }
        if (!file_->Flush() || !SaveControl(params_.path, cs)) return false;
      }
      auto c = std::make_unique<Conn>();
      c->stream = transport_.NewStream();
      c->seg = seg;
      c->last_ms = NowMs();
      Conn* raw = c.get();
      {
        Guard g(lock_);
        segs_[size_t(seg)].owner = int(conns_.size());
        ++requests_;
        conns_.push_back(std::move(c));
        active_ = int(conns_.size());
      }
      if (!raw->thread.Start([this, raw] { ConnMain(raw); })) {
        raw->outcome = kRetry;
        raw->finished = true;
      }
    }
  }

  // Whether another connection may help: the speed of the last window is
  // known and below the fast-link mark.
  bool WantMoreLocked() const {
    if (cfg_.fast_link <= 0) return true;
    if (samples_.size() < 2 || samples_.back().first - samples_.front().first < 100) return false;
    return speed_ < cfg_.fast_link;
  }

  bool Deciding() {
    Guard g(lock_);
    return ranges_ok_ && conns_.size() == 1 && cfg_.fast_link > 0 &&
           (samples_.size() < 2 || samples_.back().first - samples_.front().first < 100);
  }

  void SampleSpeed(int64_t now) {
    Guard g(lock_);
    // The window starts with the first byte, so that connecting does not
    // count as slowness.
    if (samples_.empty() && received_ == 0) return;
    // ...and leaves the first 50 ms out: the first answer's bytes arrive in
    // a burst or a trickle depending on the connection's start.
    if (first_byte_ms_ < 0) first_byte_ms_ = now;
    if (samples_.empty() && now - first_byte_ms_ < 50) return;
    if (!samples_.empty() && now - samples_.back().first < 25) return;
    samples_.emplace_back(now, received_);
    while (samples_.size() > 2 && now - samples_.front().first > cfg_.speed_window_ms) samples_.pop_front();
    int64_t dt = samples_.back().first - samples_.front().first;
    int64_t db = samples_.back().second - samples_.front().second;
    int64_t v = dt > 0 ? db * 1000 / dt : 0;
    speed_ = int32_t(std::min<int64_t>(v, INT32_MAX));
  }

  // ---- one connection's thread ----

  void ConnMain(Conn* c) {
    c->outcome = Transfer(c);
    c->finished = true;
    wake_.Set();
  }

  Outcome Transfer(Conn* c) {
    const size_t seg = size_t(c->seg);
    int64_t from, end;
    {
      Guard g(lock_);
      from = segs_[seg].pos;
      end = segs_[seg].end;
    }
    HttpHead head;
    std::string error;
    if (!c->stream->Open(params_.url, from, end >= 0 ? end - 1 : -1, &head, &error)) return kRetry;
    c->last_ms = NowMs();
    c->http_status = head.status >= 400 ? head.status : 0;
    Outcome o = CheckHead(head, seg, from, &end);
    if (o != kPending) return o;

    // The transport hands each received block straight to the file.
    struct Writer : BodySink {
      Task* t;
      Conn* c;
      size_t seg;
      int64_t pos;
      Outcome outcome = kPending;
      bool Take(const char* data, size_t n) override {
        if (t->stop_) return false;
        c->last_ms = NowMs();
        int64_t end;
        {
          Guard g(t->lock_);
          end = t->segs_[seg].end;  // another connection may have taken the tail
        }
        int64_t take = end < 0 ? int64_t(n) : std::min<int64_t>(int64_t(n), end - pos);
        if (take > 0 && !t->Write(pos, data, size_t(take))) {
          outcome = kFatalFile;
          return false;
        }
        Guard g(t->lock_);
        Segment& s = t->segs_[seg];
        pos += std::max<int64_t>(take, 0);
        t->received_ += std::max<int64_t>(take, 0);
        s.pos = s.end >= 0 ? std::min(pos, s.end) : pos;
        t->digest_.Poke();
        if (s.end >= 0 && s.pos >= s.end) {
          outcome = kSegmentDone;
          return false;
        }
        return true;
      }
    } w;
    w.t = this;
    w.c = c;
    w.seg = seg;
    w.pos = from;
    while (!stop_) {
      long n = c->stream->ReadTo(w);
      if (w.outcome != kPending) return w.outcome;
      if (n < 0) return kRetry;
      if (n == 0) {
        Guard g(lock_);
        Segment& s = segs_[seg];
        if (s.end < 0) {  // no length given: the body ends the file
          s.end = s.pos;
          if (total_ < 0) total_ = s.pos;
          return kSegmentDone;
        }
        return s.pos >= s.end ? kSegmentDone : kRetry;
      }
    }
    return kRetry;
  }

  bool Write(int64_t pos, const char* data, size_t n) {
    const int64_t bad = cfg_.corrupt_at;
    if (bad < pos || bad >= pos + int64_t(n)) return file_->WriteAt(pos, data, n);
    std::string copy(data, n);
    copy[size_t(bad - pos)] ^= 0x5A;
    return file_->WriteAt(pos, copy.data(), n);
  }

  // Decides from the response head whether the body is the bytes asked for,
  // and takes what it says of the file into the task.
  Outcome CheckHead(const HttpHead& h, size_t seg, int64_t from, int64_t* end) {
    Guard g(lock_);
    HeadFacts f{total_, total_confirmed_, segs_[seg].end, ranges_ok_};
    const HeadVerdict v = JudgeHead(h, from, &f);
    if (v == kHeadBody || v == kHeadComplete) {
      total_ = f.total;
      total_confirmed_ = f.total_confirmed;
      segs_[seg].end = f.seg_end;
      *end = f.seg_end;
      if (f.ranges_ok && !ranges_ok_) {
        ranges_ok_ = true;
        wake_.Set();  // the controller may open more connections now
      }
    }
    switch (v) {
      case kHeadBody: return kPending;
      case kHeadComplete: return kSegmentDone;
      case kHeadRetry: return kRetry;
      case kHeadWrongLength: return kWrongLength;
      case kHeadStartOver: return kStartOver;
      default: return kFatalHttp;
    }
  }

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
