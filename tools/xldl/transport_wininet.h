// WinINet transport of the DLL: the user's proxy settings, http and https,
// redirects; ranges through the Range header (64-bit offsets).
#pragma once

#include <memory>

#include "tools/xldl/transport.h"

namespace xldl {

std::unique_ptr<Transport> NewWinInetTransport();

}  // namespace xldl
