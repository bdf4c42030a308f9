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

// Takes body bytes as the transport receives them, without a copy in
// between (the file write is the only one).
class BodySink {
 public:
  virtual ~BodySink() = default;
  // size > 0. False stops the transfer: the stream is then broken.
  virtual bool Take(const char* data, size_t size) = 0;
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
  // Hands the next body bytes to sink, in one or more calls: the bytes
  // handed over (> 0), 0 at the end of the body, < 0 on a broken connection,
  // after Cancel, or when the sink refused bytes. By default through Read
  // and a buffer of the stream's own.
  virtual long ReadTo(BodySink& sink);
  // Makes a blocked or later Open/Read fail soon. Any thread may call it.
  virtual void Cancel() = 0;

 private:
  static constexpr size_t kSinkBuffer = 256 * 1024;
  std::unique_ptr<char[]> sink_buf_;
};

inline long HttpStream::ReadTo(BodySink& sink) {
  if (!sink_buf_) sink_buf_.reset(new char[kSinkBuffer]);
  long n = Read(sink_buf_.get(), kSinkBuffer);
  if (n > 0 && !sink.Take(sink_buf_.get(), size_t(n))) return -1;
  return n;
}

class Transport {
 public:
  virtual ~Transport() = default;
  virtual std::unique_ptr<HttpStream> NewStream() = 0;
};

}  // namespace xldl
