// The restart into the PE once the task file and the boot entries are in
// place: the 99-second countdown that ends a cloud install, the restart-now
// and restart-later roles of the wizard's two buttons, and the fixed ten-second
// wait that ends the restore and backup requests. Everything here runs on the
// window thread.
#pragma once

#include <functional>

namespace mv {

// Enables the shutdown privilege and asks the system to reboot; the caller
// ends the program right after.
void Restart();
// True once Restart has been asked for in this process.
bool RestartRequested();

// How a job that has handed off goes on: as the window shows it (the
// countdown of an install, the ten-second notice of a request), at once, or
// not at all -- the machine is left ready for the PE and whoever set this
// ends the program. The command line sets it; the window keeps the first.
enum class RestartPolicy { kCountdown, kAtOnce, kNever };
void SetRestartPolicy(RestartPolicy policy);

// Starts the countdown (nothing happens after a refused hand-off, see
// handoff_check.h): steps to their final state, the buttons to their
// restart roles, the status label shown, the timer at 1000 ms, 99 seconds.
// Under kAtOnce it restarts instead; under kNever it shows the machine
// ready and starts no timer.
void StartRestartCountdown();
// The countdown timer's handler: one second less; restarts after the 99th tick.
void RestartCountdownTick();
// Seconds left on the countdown.
int RestartCountdownSeconds();

// The two buttons' handlers: in their restart role they ask and restart (or
// postpone); otherwise they do the ordinary page navigation given.
void OnNextButtonClick(const std::function<void()>& navigate);
void OnBackButtonClick(const std::function<void()>& navigate);

// The end of the restore and backup requests: the restart notice, ten seconds,
// the restart (kAtOnce: no wait). Returns (busy flag cleared, nothing
// restarted) only after a refused hand-off, or under kNever.
void FinishRequestWithRestart();

// Back to the idle state (tests).
void ResetRestartState();

}  // namespace mv
