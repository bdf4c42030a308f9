#include "platform/platform.h"

#include <cstdlib>

namespace mv {
namespace {
Platform* g_platform = nullptr;
}

Platform& plat() {
  if (!g_platform) std::abort();  // a program that never set its platform is a build fault
  return *g_platform;
}

void SetPlatform(Platform* platform) { g_platform = platform; }

}  // namespace mv
