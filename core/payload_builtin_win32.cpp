// The built-in payload of the Windows builds: RCDATA resources of the program
// file (the exe that links mv_payload_resources).
#include <windows.h>

#include "core/payload.h"

namespace mv {
namespace {

class ResourcePayload : public PayloadSource {
 public:
  bool Read(int id, Bytes& out) override {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) return false;
    const DWORD size = ::SizeofResource(module, res);
    HGLOBAL loaded = ::LoadResource(module, res);
    if (!loaded) return false;
    const void* data = ::LockResource(loaded);
    if (!data && size > 0) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    out.assign(p, p + size);
    return true;
  }
};

}  // namespace

PayloadSource& BuiltInPayload() {
  static ResourcePayload source;
  return source;
}

// The Windows builds carry resources instead of linked-in bytes.
bool EmbeddedPayloadBytes(int, const unsigned char**, size_t*) { return false; }

}  // namespace mv
