// libFuzzer target for the download engine's control-file reader: whatever a
// crash, a full disk or another program left beside a download must either be
// refused or describe the file soundly.
// Input: a mode byte, then the file. Mode bit 0 fixes the checksum first, so
// that the checks behind it are reached.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/xldl/control_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((data[0] & 1) && bytes.size() >= 4) {
    const uint32_t crc = xldl::Crc32(bytes.data(), bytes.size() - 4);
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = char((crc >> (8 * i)) & 0xFF);
  }
  xldl::ControlState s;
  if (!xldl::DecodeControl(bytes, &s)) return 0;
  // What was read is exactly what writing it gives.
  if (xldl::EncodeControl(s) != bytes) __builtin_trap();
  if (s.segments.empty()) __builtin_trap();
  if (s.total == -1) {
    if (s.segments.size() != 1 || s.segments[0].start != 0 || s.segments[0].end != -1 || s.segments[0].pos < 0)
      __builtin_trap();
    return 0;
  }
  // Every byte of the file in exactly one segment, and no segment claims
  // more than its range.
  int64_t covered = 0;
  for (const xldl::SegmentState& g : s.segments) {
    if (g.start < 0 || g.pos < g.start || g.end < g.pos || g.end > s.total) __builtin_trap();
    covered += g.end - g.start;
  }
  if (covered != s.total) __builtin_trap();
  return 0;
}
