#include "core/job.h"

#include <vector>

#include "platform/sync.h"
#include "ui/model.h"

namespace mv {
namespace {

// How soon the window thread looks at the job after a worker's end.
constexpr uint32_t kTickMs = 100;

struct Record {
  Mutex mu;
  JobKind kind = JobKind::kNone;
  JobState state = JobState::kIdle;
  JobFailure failure = JobFailure::kNone;
  bool over = true;        // the job's end (or its cancel) has run
  JobHooks hooks;
  std::vector<Handle> workers;
  size_t ended = 0;        // workers that have counted themselves ended
  bool stopping = false;   // a cancel or a failure waits for the workers
  bool ending = false;     // the job's end runs (it may ask the user)
  int questions = 0;       // questions about the job that are open
};

Record& R() {
  static Record* r = new Record;
  return *r;
}

bool Running(JobState s) {
  return s == JobState::kDownloading || s == JobState::kVerifying || s == JobState::kHandingOff;
}

// Under the lock: the job has not ended yet (a failed one until its end has
// run on the window thread).
bool NotOver(const Record& r) { return !r.over && (Running(r.state) || r.state == JobState::kFailed); }

// Under the lock: the window thread looks at the job soon.
void Wake() { ui::MainModel().SetTimer(kJobTimer, kTickMs); }

// Stops every worker of the job and waits for each; the window stays alive.
void StopWorkers(const JobHooks& hooks) {
  std::vector<Handle> workers;
  {
    LockGuard g(R().mu);
    workers = R().workers;
  }
  // The workers are told first, so that a wait or a copy that the stop hook
  // ends is seen by them as the stop, not as a failure.
  for (Handle w : workers) plat().RequestStop(w);
  if (hooks.stop) hooks.stop();
  for (Handle w : workers) {
    while (!plat().JoinThread(w, 50)) plat().ProcessPendingEvents();
    plat().ReleaseThread(w);
  }
  LockGuard g(R().mu);
  R().workers.clear();
  R().ended = 0;
}

}  // namespace

bool BeginJob(JobKind kind, JobHooks hooks) {
  Record& r = R();
  {
    LockGuard g(r.mu);
    if (NotOver(r) || r.stopping || r.ending) return false;
    r.kind = kind;
    r.state = JobState::kDownloading;
    r.failure = JobFailure::kNone;
    r.over = false;
    r.hooks = std::move(hooks);
    r.workers.clear();
    r.ended = 0;
    ui::MainModel().SetTimer(kJobTimer, 0);
  }
  ui::SetHandler(kJobTimer, "timer", [](const std::string&) { JobTick(); });
  return true;
}

Handle StartJobWorker(std::function<void()> body) {
  const Handle h = plat().StartThread([body = std::move(body)] {
    body();
    LockGuard g(R().mu);
    ++R().ended;
    Wake();
  });
  if (h == kNoHandle) return h;
  LockGuard g(R().mu);
  R().workers.push_back(h);
  return h;
}

JobKind CurrentJobKind() {
  LockGuard g(R().mu);
  return R().kind;
}

JobState CurrentJobState() {
  LockGuard g(R().mu);
  return R().state;
}

bool JobRunning() {
  LockGuard g(R().mu);
  return NotOver(R());
}

bool JobHandingOff() {
  LockGuard g(R().mu);
  return R().state == JobState::kHandingOff;
}

bool MoveJobState(std::initializer_list<JobState> from, JobState to) {
  LockGuard g(R().mu);
  for (JobState s : from) {
    if (R().state == s) {
      R().state = to;
      return true;
    }
  }
  return false;
}

void FailJob(JobFailure why) {
  LockGuard g(R().mu);
  if (R().state != JobState::kDownloading && R().state != JobState::kVerifying) return;
  R().state = JobState::kFailed;
  R().failure = why;
  Wake();
}

JobFailure CurrentJobFailure() {
  LockGuard g(R().mu);
  return R().failure;
}

bool CancelJob() {
  Record& r = R();
  JobHooks hooks;
  {
    LockGuard g(r.mu);
    // A hand-off, or the job's own end asking the user, runs to its end; a
    // second cancel while the first one waits has nothing more to do.
    if (r.state == JobState::kHandingOff || r.ending || r.stopping) return false;
    if (!NotOver(r)) return true;
    r.state = JobState::kCancelled;
    r.stopping = true;
    hooks = r.hooks;
  }
  StopWorkers(hooks);
  {
    LockGuard g(r.mu);
    r.stopping = false;
    r.over = true;
    ui::MainModel().SetTimer(kJobTimer, 0);
  }
  if (hooks.cancelled) hooks.cancelled();
  return true;
}

void EndJob(JobState final_state, JobFailure why) {
  std::vector<Handle> workers;
  {
    LockGuard g(R().mu);
    workers.swap(R().workers);
    R().ended = 0;
    R().state = final_state;
    if (final_state == JobState::kFailed && R().failure == JobFailure::kNone) R().failure = why;
    R().over = true;
    ui::MainModel().SetTimer(kJobTimer, 0);
  }
  // Their bodies have returned: what is left of them ends at once.
  for (Handle w : workers) {
    while (!plat().JoinThread(w, 50)) plat().ProcessPendingEvents();
    plat().ReleaseThread(w);
  }
}

void JobTick() {
  Record& r = R();
  JobHooks hooks;
  bool failed = false;
  {
    LockGuard g(r.mu);
    if (r.stopping || r.ending || r.questions > 0) return;  // looked at again on the next tick
    ui::MainModel().SetTimer(kJobTimer, 0);
    if (!NotOver(r)) return;
    failed = r.state == JobState::kFailed;
    // Woken by one worker while another one still runs: the last one wakes
    // the window thread again (its count and its wake-up are under the lock).
    if (!failed && (r.state == JobState::kHandingOff || r.workers.empty() || r.ended < r.workers.size())) return;
    r.ending = true;
    hooks = r.hooks;
  }
  if (failed) {
    StopWorkers(hooks);
    {
      LockGuard g(r.mu);
      r.ending = false;
    }
    if (hooks.failed) hooks.failed();
    EndJob(JobState::kFailed);
    return;
  }
  if (hooks.finished) hooks.finished();
  {
    LockGuard g(r.mu);
    r.ending = false;
  }
  if (JobRunning()) EndJob(JobState::kDone);
}

int AskAboutJob(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) {
  {
    LockGuard g(R().mu);
    ++R().questions;
  }
  const int answer = plat().ShowMessageBox(text, flags, caption, owner);
  LockGuard g(R().mu);
  --R().questions;
  return answer;
}

bool JobQuestionOpen() {
  LockGuard g(R().mu);
  return R().questions > 0;
}

void ResetJob() {
  std::vector<Handle> workers;
  {
    LockGuard g(R().mu);
    workers.swap(R().workers);
  }
  for (Handle w : workers) {
    plat().RequestStop(w);
    plat().JoinThread(w, ~0u);
    plat().ReleaseThread(w);
  }
  LockGuard g(R().mu);
  R().kind = JobKind::kNone;
  R().state = JobState::kIdle;
  R().failure = JobFailure::kNone;
  R().over = true;
  R().hooks = JobHooks();
  R().ended = 0;
  R().stopping = R().ending = false;
  R().questions = 0;
  ui::MainModel().SetTimer(kJobTimer, 0);
}

}  // namespace mv
