// The task the program runs for the user (an install, a data backup of its
// own, the PE preparation of a backup or restore) as one job: its state, the
// workers it started, and the one way to stop it.
//
// A job owns its workers. Nothing but CancelJob stops them, and CancelJob
// returns only once every one of them has ended, so that nothing of a
// cancelled job writes anything afterwards. A worker's end wakes the window
// thread (the job timer); the job's own end -- the install's hand-off, the
// data backup's summary -- runs there, never on a worker, so that it and a
// cancel can never run at the same time.
//
// Everything here is called on the window thread, except where a worker is
// said to call it.
#pragma once

#include <functional>
#include <initializer_list>

#include "platform/platform.h"

namespace mv {

enum class JobKind { kNone, kInstall, kDataBackup, kPePreparation };

enum class JobState {
  kIdle,          // no job has run yet
  kDownloading,   // the workers bring the files (or copy the data)
  kVerifying,     // a digest is being checked
  kHandingOff,    // the task file and the boot entries are being written: no cancel
  kCountingDown,  // handed off; the restart countdown runs
  kCancelled,     // stopped by the user; nothing handed off
  kFailed,        // ended by an error (told to the user); nothing handed off
  kDone,          // ended without a hand-off of its own (a data backup)
};

// Why a job failed: what went wrong for those who report on it (the
// command line's exit code).
enum class JobFailure {
  kNone,
  kDownload,      // a file could not be brought: download, copy, disk space
  kVerification,  // a file did not match its digest
  kHandOff,       // the task file or the boot entries could not be written
};

// The window-thread timer that a worker's end (or a failure) sets going.
constexpr char kJobTimer[] = "时钟_任务检查";

struct JobHooks {
  // First thing of a stop: ends what the job waits on outside its workers
  // (download tasks, waits on them, copies), so that they reach their next
  // checkpoint.
  std::function<void()> stop;
  // Every worker has ended by itself and the job did not fail: the job's
  // end (the install's hand-off). Runs on the window thread.
  std::function<void()> finished;
  // The job failed (its worker told the user why) and every worker has
  // been stopped: the window back where the user can choose again.
  std::function<void()> failed;
  // The user cancelled and every worker has been stopped.
  std::function<void()> cancelled;
};

// Starts a job in state kDownloading. False while another job is running.
bool BeginJob(JobKind kind, JobHooks hooks);
// Starts a worker of the running job. When the body returns, the worker
// counts itself ended and wakes the window thread.
Handle StartJobWorker(std::function<void()> body);

JobKind CurrentJobKind();
JobState CurrentJobState();
// True from BeginJob until the job has ended (cancelled, failed, done or
// handed off to the countdown).
bool JobRunning();
// True while the running job may no longer be stopped (its hand-off).
bool JobHandingOff();

// Moves the state to `to` when it is one of `from`; false (unchanged)
// otherwise. Workers call it too.
bool MoveJobState(std::initializer_list<JobState> from, JobState to);

// A worker's failure (after it told the user why): the job stops every
// other worker and ends failed. Called on a worker or the window thread.
void FailJob(JobFailure why);
// Why the last job failed (kNone unless it did).
JobFailure CurrentJobFailure();

// THE cancel of every path (the download page's cancel, back on the
// progress step, the data backup's cancel, the PE download's cancel, closing
// the window): stops what the job waits on, asks every worker to stop,
// waits for each (the window stays alive meanwhile) and then runs the
// job's cancelled hook. True when no job runs any more (also when none
// ran); false only while the job hands off, which must run to its end.
bool CancelJob();

// Ends the running job in a final state (kDone, kCountingDown, kFailed)
// from the window thread once its own end has run; its workers have ended.
// A failure says why (a failure already recorded is kept).
void EndJob(JobState final_state, JobFailure why = JobFailure::kNone);

// The job timer's handler: once every worker has ended (or one failed), the
// job's end runs here. Does nothing while a question about the job is open.
void JobTick();

// A Yes/No question about the running job (cancel or exit): while it is
// open the job's end waits, so that the answer still finds the job as it
// was. Returns the pressed button.
int AskAboutJob(const Text& text, uint32_t flags, const Text& caption, WindowRef owner);
// True while such a question is open.
bool JobQuestionOpen();

// Back to no job (tests).
void ResetJob();

}  // namespace mv
