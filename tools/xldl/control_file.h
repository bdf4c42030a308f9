// The control file kept beside a download from before its first byte until
// it is complete, so that "file there, no control file" always means a
// finished download: the total size and, per segment, the byte range and how
// far it has got. Rewritten as
// a whole (temporary file, then a rename over the old one) and checked by a
// CRC-32, so a crash leaves either the old or the new state, never a mix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xldl {

struct SegmentState {
  int64_t start = 0;  // first byte of the segment
  int64_t pos = 0;    // next byte to fetch; [start, pos) is on disk
  int64_t end = -1;   // one past the last byte; -1 while the size is unknown
};

struct ControlState {
  int64_t total = -1;  // -1: not known yet (then one segment {0, pos, -1})
  std::vector<SegmentState> segments;
};

std::string ControlPath(const std::string& file_path);

std::string EncodeControl(const ControlState& s);
// False when the bytes are not a well-formed control record: wrong magic,
// version or checksum, or ranges that do not fit the total.
bool DecodeControl(const std::string& bytes, ControlState* s);

bool SaveControl(const std::string& file_path, const ControlState& s);
bool LoadControl(const std::string& file_path, ControlState* s);
bool RemoveControl(const std::string& file_path);

uint32_t Crc32(const void* data, size_t size);

}  // namespace xldl
