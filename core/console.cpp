#include "core/console.h"

#include "core/log.h"
#include "platform/sync.h"

namespace mv {
namespace {

Mutex g_mu;
std::function<void(const Text&)> g_write;

}  // namespace

void SetConsoleWriter(std::function<void(const Text&)> write) {
  LockGuard g(g_mu);
  g_write = std::move(write);
}

void Echo(const Text& line) {
  // One writer at a time: lines of several threads never interleave.
  LockGuard g(g_mu);
  if (g_write) g_write(line);
}

void Say(const Text& line) {
  Log(line);
  Echo(line);
}

}  // namespace mv
