#include "download/format.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace mv::dl {
namespace {

constexpr double kKb = 1024.0;
constexpr double kMb = 1048576.0;
constexpr double kGb = 1073741824.0;
// A value just under a unit boundary because of rounding still counts as reaching it.
constexpr double kTolerance = 0.0000001;

std::string Number(long long v) { return std::to_string(v); }

}  // namespace

std::string OneDecimal(double value) {
  double r = std::round(value * 10.0) / 10.0;
  if (r == 0.0) r = 0.0;  // no "-0"
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.13g", r);
  return buf;
}

Scaled ScaleSize(int64_t bytes) {
  const double mb = static_cast<double>(bytes) / kMb;
  if (mb + kTolerance >= 1024.0) return {OneDecimal(static_cast<double>(bytes) / kGb), true};
  return {OneDecimal(mb), false};
}

Scaled ScaleSpeedKb(int64_t bytes_per_second) {
  const double kb = static_cast<double>(bytes_per_second) / kKb;
  if (kb + kTolerance >= 1024.0) return {OneDecimal(static_cast<double>(bytes_per_second) / kMb), true};
  return {OneDecimal(kb), false};
}

Scaled ScaleSpeedMb(int64_t bytes_per_second) {
  const double mb = static_cast<double>(bytes_per_second) / kMb;
  if (mb + kTolerance >= 1024.0) return {OneDecimal(static_cast<double>(bytes_per_second) / kGb), true};
  return {OneDecimal(mb), false};
}

std::string FormatRemaining(int32_t seconds) {
  const int32_t h = seconds / 3600;
  const int32_t r = seconds % 3600;
  const int32_t m = r / 60;
  const int32_t s = r % 60;
  if (h <= 0) return Number(m) + "分" + Number(s) + "秒";
  return Number(h) + "时" + Number(m) + "分" + Number(s) + "秒";
}

int32_t RemainingSeconds(int64_t remaining, int64_t rate) {
  if (rate <= 0 || remaining <= 0) return 0;
  const int64_t t = remaining / rate;
  return t > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(t);
}

}  // namespace mv::dl
