// The engine's view of HTTP: one GET per stream, optionally for a byte range,
// read as a stream of body chunks. Implemented over libcurl (native builds)
// and WinINet (the DLL).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace xldl {

struct HttpHead {
  int status = 0;
  std::string content_length;  // raw header values, "" when absent
  std::string content_range;
  std::string accept_ranges;
};

class HttpStream {
 public:
  virtual ~HttpStream() = default;
  // Sends GET url (following redirects) with "Range: bytes=first-last" when
  // first >= 0 (last < 0: open-ended) and waits for the final response head.
  // False when no response arrived (connection refused, reset, cancelled);
  // *error tells why.
  virtual bool Open(const std::string& url, int64_t first, int64_t last, HttpHead* head, std::string* error) = 0;
  // Next body bytes: > 0 bytes read, 0 at the end of the body, < 0 on a
  // broken connection or after Cancel.
  virtual long Read(void* buf, size_t size) = 0;
  // Makes a blocked or later Open/Read fail soon. Any thread may call it.
  virtual void Cancel() = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;
  virtual std::unique_ptr<HttpStream> NewStream() = 0;
};

}  // namespace xldl
