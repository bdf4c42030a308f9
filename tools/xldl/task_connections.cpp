// The download task's connections: how many to open, which part of the
// file each fetches, what each response head says of the file, the speed.
#include <algorithm>

#include "tools/xldl/task.h"

namespace xldl {

void Task::CloseAll() {
  for (auto& c : conns_) c->stream->Cancel();
  for (auto& c : conns_) c->thread.Join();
  Guard g(lock_);
  for (Segment& s : segs_) s.owner = -1;
  conns_.clear();
  active_ = 0;
}

void Task::Reap(int64_t now) {
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
bool Task::Launch() {
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
bool Task::WantMoreLocked() const {
  if (cfg_.fast_link <= 0) return true;
  if (samples_.size() < 2 || samples_.back().first - samples_.front().first < 100) return false;
  return speed_ < cfg_.fast_link;
}

bool Task::Deciding() {
  Guard g(lock_);
  return ranges_ok_ && conns_.size() == 1 && cfg_.fast_link > 0 &&
         (samples_.size() < 2 || samples_.back().first - samples_.front().first < 100);
}

void Task::SampleSpeed(int64_t now) {
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

void Task::ConnMain(Conn* c) {
  c->outcome = Transfer(c);
  c->finished = true;
  wake_.Set();
}

Outcome Task::Transfer(Conn* c) {
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

bool Task::Write(int64_t pos, const char* data, size_t n) {
  const int64_t bad = cfg_.corrupt_at;
  if (bad < pos || bad >= pos + int64_t(n)) return file_->WriteAt(pos, data, n);
  std::string copy(data, n);
  copy[size_t(bad - pos)] ^= 0x5A;
  return file_->WriteAt(pos, copy.data(), n);
}

// Decides from the response head whether the body is the bytes asked for,
// and takes what it says of the file into the task.
Outcome Task::CheckHead(const HttpHead& h, size_t seg, int64_t from, int64_t* end) {
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

}  // namespace xldl
