// libcurl transport of the native builds (tests, benchmarks, the driver).
#pragma once

#include <memory>

#include "tools/xldl/transport.h"

namespace xldl {

std::unique_ptr<Transport> NewCurlTransport();

}  // namespace xldl
