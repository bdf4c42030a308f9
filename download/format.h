// Number and time texts of the progress lines: sizes in MB/GB of 1024,
// speeds in KB/s, MB/s or GB/s, remaining times as "1时2分5秒".
#pragma once

#include <cstdint>
#include <string>

namespace mv::dl {

// A value rounded to one decimal and printed in its shortest form with up to
// 13 significant digits: 2.0 -> "2", 1.55 -> "1.6".
std::string OneDecimal(double value);

// A byte count in MB, or in GB from 1024 MB on (with a small tolerance).
struct Scaled {
  std::string number;  // "1.5"
  bool large = false;  // true: the larger unit (GB for sizes)
};
Scaled ScaleSize(int64_t bytes);
// A download speed in bytes per second: KB/s, or MB/s from 1024 KB/s on.
Scaled ScaleSpeedKb(int64_t bytes_per_second);
// A read speed in bytes per second: MB/s, or GB/s from 1024 MB/s on.
Scaled ScaleSpeedMb(int64_t bytes_per_second);

// Seconds as "m分s秒", or "h时m分s秒" from one hour on.
std::string FormatRemaining(int32_t seconds);

// remaining / rate truncated to whole seconds, as the progress lines show it:
// 0 for a stalled transfer (rate 0) or nothing left, capped at the largest
// 32-bit value.
int32_t RemainingSeconds(int64_t remaining, int64_t rate);

}  // namespace mv::dl
