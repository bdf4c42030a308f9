#include "tools/xldl/control_file.h"

#include <cstring>

#include "core/crc32.h"
#include "tools/xldl/sys.h"

namespace xldl {

namespace {

const char kMagic[4] = {'X', 'L', 'D', 'C'};
const uint32_t kVersion = 1;
const size_t kMaxSegments = 4096;

void Put32(std::string* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(char((v >> (8 * i)) & 0xFF));
}
void Put64(std::string* b, int64_t v) {
  uint64_t u = uint64_t(v);
  for (int i = 0; i < 8; ++i) b->push_back(char((u >> (8 * i)) & 0xFF));
}
uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(b[at + i])) << (8 * i);
  return v;
}
int64_t Get64(const std::string& b, size_t at) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t(uint8_t(b[at + i])) << (8 * i);
  return int64_t(v);
}

}  // namespace

uint32_t Crc32(const void* data, size_t size) { return mv::Crc32(0, data, size); }

std::string ControlPath(const std::string& file_path) { return file_path + ".dlctl"; }

// Layout: magic, version, segment count, total, then start/pos/end per
// segment, then the CRC-32 of everything before it.
std::string EncodeControl(const ControlState& s) {
  std::string b(kMagic, 4);
  Put32(&b, kVersion);
  Put32(&b, uint32_t(s.segments.size()));
  Put64(&b, s.total);
  for (const SegmentState& g : s.segments) {
    Put64(&b, g.start);
    Put64(&b, g.pos);
    Put64(&b, g.end);
  }
  Put32(&b, Crc32(b.data(), b.size()));
  return b;
}

bool DecodeControl(const std::string& b, ControlState* s) {
  if (b.size() < 24 || memcmp(b.data(), kMagic, 4) != 0 || Get32(b, 4) != kVersion) return false;
  size_t n = Get32(b, 8);
  if (n == 0 || n > kMaxSegments || b.size() != 24 + 24 * n) return false;
  if (Crc32(b.data(), b.size() - 4) != Get32(b, b.size() - 4)) return false;
  ControlState r;
  r.total = Get64(b, 12);
  if (r.total == -1) {
    // Size not known yet: one run from byte 0 with an open end.
    if (n != 1 || Get64(b, 20) != 0 || Get64(b, 28) < 0 || Get64(b, 36) != -1) return false;
    r.segments.push_back(SegmentState{0, Get64(b, 28), -1});
    *s = r;
    return true;
  }
  if (r.total < 0) return false;
  for (size_t i = 0; i < n; ++i) {
    SegmentState g;
    g.start = Get64(b, 20 + 24 * i);
    g.pos = Get64(b, 28 + 24 * i);
    g.end = Get64(b, 36 + 24 * i);
    if (g.start < 0 || g.pos < g.start || g.end < g.pos || g.end > r.total) return false;
    r.segments.push_back(g);
  }
  // The segments must tile [0, total) exactly: sorted by start, each one
  // begins where the previous one ends.
  std::vector<SegmentState> sorted = r.segments;
  for (size_t i = 1; i < sorted.size(); ++i) {
    for (size_t j = i; j > 0 && sorted[j].start < sorted[j - 1].start; --j) std::swap(sorted[j], sorted[j - 1]);
  }
  if (sorted.front().start != 0 || sorted.back().end != r.total) return false;
  for (size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i].start != sorted[i - 1].end) return false;
  }
  *s = r;
  return true;
}

bool SaveControl(const std::string& file_path, const ControlState& s) {
  std::string bytes = EncodeControl(s);
  std::string path = ControlPath(file_path);
  return WriteFileAtomic(path, path + ".tmp", bytes.data(), bytes.size());
}

bool LoadControl(const std::string& file_path, ControlState* s) {
  std::string bytes;
  if (!ReadWholeFile(ControlPath(file_path), &bytes, 24 + 24 * kMaxSegments)) return false;
  return DecodeControl(bytes, s);
}

bool RemoveControl(const std::string& file_path) {
  std::string path = ControlPath(file_path);
  RemoveFile(path + ".tmp");
  return RemoveFile(path);
}

}  // namespace xldl
