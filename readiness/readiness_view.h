// The readiness check in the window: the button on the environment step,
// its lines shown there as a list, and the gate that stops an install, a
// system backup or a restore while a check fails.
#pragma once

#include <vector>

#include "readiness/readiness.h"

namespace mv {

// Sets the button's handler and installs the gate (boot/readiness_gate.h).
void InstallReadinessCheck();

// Runs the check and shows its lines on the environment step (the survey's
// status line says how it went). Returns the lines.
std::vector<ReadinessLine> CheckAndShow(const ReadinessRequest& request);

// The gate: runs the check; when a line failed, the user is told which and
// why in an error box and the job does not start.
bool ReadinessGateWithMessage(const ReadinessRequest& request);

}  // namespace mv
