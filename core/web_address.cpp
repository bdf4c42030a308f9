// Web addresses for the shell: see web_address.h.
#include "core/web_address.h"

#include "core/log.h"
#include "core/text.h"

namespace mv {

bool IsWebAddress(const Text& address) {
  const Text upper = UpperAscii(address.substr(0, 8));
  size_t host;
  if (upper.compare(0, 7, "HTTP://") == 0) host = 7;
  else if (upper.compare(0, 8, "HTTPS://") == 0) host = 8;
  else return false;
  if (host >= address.size() || address[host] == '/' || address[host] == '\\') return false;
  for (char ch : address) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '"') return false;
  }
  return true;
}

bool OpenWebAddress(const Text& address) {
  if (!IsWebAddress(address)) {
    Log("拒绝打开非网页地址：" + address);
    return false;
  }
  return plat().ShellOpen(address);
}

}  // namespace mv
