// The download worker of the wizard's install (install_job.h holds the job
// around it): brings the system image and the PE into the work directory --
// by download, by taking a file already there whose digest matches, or by
// copying a local image -- checks both, puts the PE in place as
// "WinPE\boot.wim" and reports each verified file to its job.
#pragma once

#include <cstdint>
#include <vector>

#include "download/install_job.h"

namespace mv {

// The worker's body; reads only the plan it is given.
void CloudInstallJob(const InstallPlan& plan);

// The free space the install still needs on the work drive: the sum of the
// positive amounts, without overflow (an amount that does not fit counts as
// more than any drive holds).
int64_t SpaceNeeded(const std::vector<int64_t>& amounts);

}  // namespace mv
