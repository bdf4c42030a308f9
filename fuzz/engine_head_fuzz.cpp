// libFuzzer target for the download engine's reading of a response head: the
// Content-Range and Content-Length parsers and the verdict on the answer.
// Input: the status (2 bytes), where the request began (8 bytes), a byte of
// what the task knew, then "Content-Length\nContent-Range".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tools/xldl/response_head.h"

namespace {

int64_t Take64(const uint8_t*& p) {
  uint64_t v = 0;
  std::memcpy(&v, p, 8);
  p += 8;
  return int64_t(v >> 2);  // never negative, room to add one
}

void CheckRange(const std::string& v) {
  int64_t a, b, t;
  if (!xldl::ParseContentRange(v, &a, &b, &t)) return;
  if (a < 0) {
    if (b != -1 || t < 0) __builtin_trap();  // "bytes */total"
  } else if (b < a || (t >= 0 && b >= t)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 11) return 0;
  const uint8_t* p = data;
  xldl::HttpHead head;
  head.status = int(p[0] | (p[1] << 8)) % 1000;
  p += 2;
  const int64_t known = Take64(p);
  const uint8_t mode = *p++;
  const std::string rest(reinterpret_cast<const char*>(p), size - 11);
  const size_t nl = rest.find('\n');
  head.content_length = rest.substr(0, nl);
  if (nl != std::string::npos) head.content_range = rest.substr(nl + 1);

  const int64_t len = xldl::ParseLength(head.content_length);
  if (len < -1) __builtin_trap();
  CheckRange(head.content_range);

  // What the task knew: consistent, as the engine keeps it (a segment lies
  // inside the file, the request starts inside the segment).
  xldl::HeadFacts f;
  f.total = (mode & 1) ? known : -1;
  f.total_confirmed = (mode & 2) && f.total >= 0;
  f.ranges_ok = mode & 4;
  int64_t from = 0;
  if (mode & 8) {
    from = f.total >= 0 ? (f.total ? known % (f.total + 1) : 0) : known;
    if ((mode & 16) && f.total >= 0) f.seg_end = f.total;
  }
  const xldl::HeadFacts before = f;
  switch (xldl::JudgeHead(head, from, &f)) {
    case xldl::kHeadBody:
      // The bytes to come fit the file: a known end lies between the
      // request's start and the file's end.
      if (f.seg_end >= 0 && (f.seg_end < from || (f.total >= 0 && f.seg_end > f.total))) __builtin_trap();
      if (f.seg_end >= 0 && f.total < 0) __builtin_trap();
      if (before.total >= 0 && f.total != before.total) __builtin_trap();
      break;
    case xldl::kHeadComplete:
      if (f.seg_end != from || f.total != from) __builtin_trap();
      break;
    default:
      if (std::memcmp(&before, &f, sizeof f) != 0) __builtin_trap();  // nothing taken from a refused answer
      break;
  }
  return 0;
}
