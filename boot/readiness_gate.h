// The gate in front of every job that ends in the boot hand-off: the cloud
// install, the system backup and the restore call it before anything is
// downloaded or written, and do not start when it says no. The readiness
// check (readiness/readiness.h) installs itself here in the program; with
// nothing installed the gate lets every job through.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

enum class ReadinessJob { kInstall, kBackup, kRestore };

// What a job asks the gate about: its kind and, for a restore, the image
// that will be copied into the work directory.
struct ReadinessRequest {
  ReadinessJob job = ReadinessJob::kInstall;
  Text image_path;
};

using ReadinessGate = std::function<bool(const ReadinessRequest&)>;
void SetReadinessGate(ReadinessGate gate);

// True when the job may start (the gate told the user why when not).
bool PassReadinessGate(ReadinessJob job, const Text& image_path = Text());

}  // namespace mv
