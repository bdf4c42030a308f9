// What the engine reads from a response head: the Content-Length and
// Content-Range values, and what an answer means for the segment it was
// asked for (pure functions, fuzzed).
#pragma once

#include <cstdint>
#include <string>

#include "tools/xldl/transport.h"

namespace xldl {

bool ParseContentRange(const std::string& v, int64_t* first, int64_t* last, int64_t* total);
int64_t ParseLength(const std::string& v);  // -1 when absent or malformed

// What a task knows of its file when an answer for one segment arrives.
struct HeadFacts {
  int64_t total = -1;            // the file's size, -1 while unknown
  bool total_confirmed = false;  // an answer of this run agreed with it
  int64_t seg_end = -1;          // one past the segment's last byte, -1 while open
  bool ranges_ok = false;        // the server has answered a Range with a part
};
enum HeadVerdict {
  kHeadBody,         // the body is the segment's bytes from where it was asked
  kHeadComplete,     // nothing left to fetch: the segment was complete
  kHeadRetry,        // ask again later
  kHeadWrongLength,  // contradicts what is known of the file
  kHeadStartOver,    // the file changed, or the Range was ignored: from byte 0
  kHeadFatal,        // a client error: asking again cannot help
};
// The meaning of the answer to a request from byte `from`; on kHeadBody and
// kHeadComplete the facts are updated with what the answer says.
HeadVerdict JudgeHead(const HttpHead& head, int64_t from, HeadFacts* facts);

}  // namespace xldl
