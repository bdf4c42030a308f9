#include "tools/xldl/response_head.h"

#include <cstdint>

namespace xldl {

namespace {

bool ParseDigits(const std::string& s, size_t* at, int64_t* out) {
  size_t i = *at;
  int64_t v = 0;
  size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (v > (INT64_MAX - 9) / 10) return false;
    v = v * 10 + (s[i] - '0');
    ++i;
  }
  if (i == start) return false;
  *at = i;
  *out = v;
  return true;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n')) --b;
  return s.substr(a, b - a);
}

}  // namespace

int64_t ParseLength(const std::string& raw) {
  std::string v = Trim(raw);
  size_t at = 0;
  int64_t n;
  if (!ParseDigits(v, &at, &n) || at != v.size()) return -1;
  return n;
}

// "bytes 0-499/1234", "bytes 0-499/*" (total -1) or "bytes */1234" (first
// and last -1).
bool ParseContentRange(const std::string& raw, int64_t* first, int64_t* last, int64_t* total) {
  std::string v = Trim(raw);
  if (v.size() < 6) return false;
  for (int i = 0; i < 5; ++i) {
    if ((v[i] | 0x20) != "bytes"[i]) return false;
  }
  size_t at = 5;
  while (at < v.size() && v[at] == ' ') ++at;
  *first = *last = *total = -1;
  if (at < v.size() && v[at] == '*') {
    ++at;
  } else {
    if (!ParseDigits(v, &at, first) || at >= v.size() || v[at] != '-') return false;
    ++at;
    if (!ParseDigits(v, &at, last) || *last < *first) return false;
  }
  if (at >= v.size() || v[at] != '/') return false;
  ++at;
  if (at < v.size() && v[at] == '*') {
    ++at;
  } else if (!ParseDigits(v, &at, total)) {
    return false;
  }
  if (at != v.size()) return false;
  if (*first < 0 && *total < 0) return false;
  if (*total >= 0 && *last >= *total) return false;
  return true;
}

HeadVerdict JudgeHead(const HttpHead& h, int64_t from, HeadFacts* f) {
  if (h.status == 206) {
    int64_t a, b, t;
    if (!ParseContentRange(h.content_range, &a, &b, &t) || a != from) return kHeadWrongLength;
    const int64_t len = ParseLength(h.content_length);
    if (!h.content_length.empty() && len != b - a + 1) return kHeadWrongLength;
    // Without the total the parts cannot be fitted together.
    if (t < 0) return kHeadWrongLength;
    // A different size than the control file's: the file was replaced on
    // the server, so nothing fetched so far can be trusted.
    if (f->total >= 0 && t != f->total) return f->total_confirmed ? kHeadWrongLength : kHeadStartOver;
    // A part that ends past the file cannot be part of it.
    if (f->seg_end > t) return kHeadStartOver;
    f->total = t;
    f->total_confirmed = true;
    if (f->seg_end < 0) f->seg_end = t;
    // A shorter part than asked for is fine: the rest is asked for later.
    f->ranges_ok = true;
    return kHeadBody;
  }
  if (h.status == 200) {
    if (from > 0) return kHeadStartOver;  // the Range was ignored
    const int64_t len = ParseLength(h.content_length);
    if (len >= 0) {
      if (f->total >= 0 && len != f->total) return f->total_confirmed ? kHeadWrongLength : kHeadStartOver;
      if (f->seg_end > len) return kHeadStartOver;
      f->total = len;
      f->total_confirmed = true;
      if (f->seg_end < 0) f->seg_end = len;
    }
    return kHeadBody;
  }
  if (h.status == 416) {
    int64_t a, b, t;
    if (!ParseContentRange(h.content_range, &a, &b, &t) || t < 0) return kHeadRetry;
    if (f->total >= 0 && t != f->total) return f->total_confirmed ? kHeadWrongLength : kHeadStartOver;
    if (from == t && (f->seg_end < 0 || f->seg_end == t)) {
      // The file was complete already.
      f->total = t;
      f->total_confirmed = true;
      f->seg_end = t;
      return kHeadComplete;
    }
    if (from > t) return kHeadStartOver;  // longer than the server's file
    return kHeadRetry;
  }
  if (h.status >= 500 || h.status == 408 || h.status == 429) return kHeadRetry;
  return kHeadFatal;
}

}  // namespace xldl
