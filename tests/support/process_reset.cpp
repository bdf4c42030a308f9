#include "tests/support/process_reset.h"

#include "core/job.h"
#include "core/log.h"
#include "core/startup.h"
#include "core/state.h"
#include "ui/model.h"

namespace mv::test {

void ResetProcess(Platform* platform) {
  SetPlatform(platform);
  ResetProcessState();
  CloseLog();
  ResetJob();
  ClearStartupHooks();
  SetShutDownHook(nullptr);
  ui::ClearHandlers();
}

}  // namespace mv::test
