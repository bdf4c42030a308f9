#include "boot/readiness_gate.h"

namespace mv {
namespace {

ReadinessGate& Gate() {
  static ReadinessGate gate;  // set once by the program before the window exists
  return gate;
}

}  // namespace

void SetReadinessGate(ReadinessGate gate) { Gate() = std::move(gate); }

bool PassReadinessGate(ReadinessJob job, const Text& image_path) {
  if (!Gate()) return true;
  ReadinessRequest request;
  request.job = job;
  request.image_path = image_path;
  return Gate()(request);
}

}  // namespace mv
