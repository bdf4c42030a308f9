// The built-in payload of the native build: bytes linked into the program.
#include "core/payload.h"

namespace mv {
namespace {

class LinkedPayload : public PayloadSource {
 public:
  bool Read(int id, Bytes& out) override {
    const unsigned char* data = nullptr;
    size_t size = 0;
    if (!EmbeddedPayloadBytes(id, &data, &size)) return false;
    out.assign(data, data + size);
    return true;
  }
};

}  // namespace

PayloadSource& BuiltInPayload() {
  static LinkedPayload source;
  return source;
}

}  // namespace mv
