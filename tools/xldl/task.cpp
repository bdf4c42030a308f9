// The download task's controller: start and stop, what is on disk and where
// to begin, the control file, the end of the task.
#include "tools/xldl/task.h"

#include <algorithm>

namespace xldl {

bool Task::Start() {
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

void Task::Stop() {
  Guard op(op_lock_);
  stop_ = true;
  wake_.Set();
  controller_.Join();
}

void Task::Status(TaskStatus* s) {
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

int64_t Task::DoneLocked() const {
  int64_t d = 0;
  for (const Segment& g : segs_) d += g.pos - g.start;
  return d;
}

// Bytes from byte 0 up to the first one not yet on disk: the segments tile
// the file, so the walk goes from each segment to the one at its end
// (empty ones, which a control file may hold, lead nowhere).
int64_t Task::PrefixLocked() const {
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

void Task::StartDigest() {
  if (!cfg_.running_md5) return;
  digest_.Start(params_.path, [this] {
    Guard g(lock_);
    return PrefixLocked();
  });
}

ControlState Task::SnapshotLocked() const {
  ControlState cs;
  cs.total = total_;
  for (const Segment& g : segs_) cs.segments.push_back(g);
  return cs;
}

void Task::Run() {
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
bool Task::Prepare() {
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

bool Task::Complete() {
  Guard g(lock_);
  if (total_ < 0) return false;
  for (const Segment& s : segs_) {
    if (s.end < 0 || s.pos < s.end) return false;
  }
  return DoneLocked() == total_;
}

void Task::Finalize() {
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
void Task::Finish(int stat, int code) {
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

// What is on disk reaches the disk before the control file says so.
void Task::SaveProgress() {
  ControlState cs;
  {
    Guard g(lock_);
    cs = SnapshotLocked();
  }
  if (file_->Flush()) SaveControl(params_.path, cs);
}

bool Task::StartOver() {
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

}  // namespace xldl
