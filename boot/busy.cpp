#include "boot/busy.h"

#include <atomic>

namespace mv {
namespace {
std::atomic<int> g_busy{0};
std::function<void(int)>& Handler() {
  static std::function<void(int)> handler;
  return handler;
}
}  // namespace

int BootBusyFlag() { return g_busy.load(); }

void SetBootBusyFlag(int busy) {
  g_busy.store(busy);
  if (Handler()) Handler()(busy);
}

void SetBusyHandler(std::function<void(int)> handler) { Handler() = std::move(handler); }

}  // namespace mv
