#include "boot/attrib.h"

#include <cstring>

namespace mv {

void RunAttrib(const char* flags, const Text& path) {
  plat().RunHidden(Text("attrib ") + flags + " " + path);
  const uint32_t before = plat().GetAttributes(path);
  if (before == kAttrInvalid) return;
  uint32_t after = before;
  for (const char* f = flags; *f; ++f) {
    if ((*f != '+' && *f != '-') || !f[1]) continue;
    uint32_t bit = 0;
    switch (f[1] | 0x20) {
      case 'r': bit = kAttrReadOnly; break;
      case 'h': bit = kAttrHidden; break;
      case 's': bit = kAttrSystem; break;
      case 'a': bit = kAttrArchive; break;
    }
    after = *f == '+' ? (after | bit) : (after & ~bit);
  }
  if (after != before) plat().SetAttributes(path, after & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive));
}

}  // namespace mv
