// Pull-style streams over curl's multi interface: Read() drives the transfer
// until body bytes are buffered, so the engine's loop owns the pace; Cancel()
// wakes a waiting Read from another thread.
#include "tools/xldl/transport_curl.h"

#include <curl/curl.h>

#include <atomic>
#include <cstring>
#include <string>

namespace xldl {

namespace {

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~CurlGlobal() { curl_global_cleanup(); }
};

class CurlStream : public HttpStream {
 public:
  CurlStream() {
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
  }
  ~CurlStream() override {
    if (added_) curl_multi_remove_handle(multi_, easy_);
    curl_easy_cleanup(easy_);
    curl_multi_cleanup(multi_);
  }

  bool Open(const std::string& url, int64_t first, int64_t last, HttpHead* head, std::string* error) override {
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, "xldl/1.0");
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlStream::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlStream::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    if (first >= 0) {
      range_ = std::to_string(first) + "-" + (last >= 0 ? std::to_string(last) : std::string());
      curl_easy_setopt(easy_, CURLOPT_RANGE, range_.c_str());
    }
    curl_multi_add_handle(multi_, easy_);
    added_ = true;
    while (!head_done_ && !finished_) {
      if (!Pump()) break;
    }
    if (!head_done_) {
      *error = cancelled_ ? "cancelled" : (error_.empty() ? "no response" : error_);
      return false;
    }
    *head = head_;
    return true;
  }

  // Body bytes go from curl's receive buffer straight to the sink: the
  // file write is their only copy.
  long ReadTo(BodySink& sink) override {
    sink_ = &sink;
    handed_ = 0;
    if (paused_) {
      // What arrived with the head: curl hands it over again now.
      paused_ = false;
      if (curl_easy_pause(easy_, CURLPAUSE_CONT) != CURLE_OK) broken_ = true;
    }
    while (handed_ == 0 && !finished_ && !broken_) {
      if (!Pump()) broken_ = true;
    }
    sink_ = nullptr;
    if (broken_ || cancelled_) return -1;
    if (handed_ > 0) return handed_;
    return ok_ ? 0 : -1;
  }

  long Read(void* buf, size_t size) override {
    struct Copy : BodySink {
      char* to;
      size_t room;
      std::string* rest;
      bool Take(const char* data, size_t n) override {
        size_t take = std::min(n, room);
        memcpy(to, data, take);
        to += take;
        room -= take;
        rest->append(data + take, n - take);
        return true;
      }
    };
    if (pos_ < rest_.size()) {
      size_t n = std::min(size, rest_.size() - pos_);
      memcpy(buf, rest_.data() + pos_, n);
      pos_ += n;
      return long(n);
    }
    rest_.clear();
    pos_ = 0;
    Copy c;
    c.to = static_cast<char*>(buf);
    c.room = size;
    c.rest = &rest_;
    long n = ReadTo(c);
    return n > 0 ? long(size - c.room) : n;
  }

  void Cancel() override {
    cancelled_ = true;
    curl_multi_wakeup(multi_);
  }

 private:
  // One round of curl work: waits for the socket only when the round
  // brought nothing new. False once cancelled.
  bool Pump() {
    if (cancelled_) return false;
    long had = handed_;
    bool head = head_done_;
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi_, &running);
    if (mc != CURLM_OK) {
      finished_ = true;
      error_ = curl_multi_strerror(mc);
      return !cancelled_;
    }
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi_, &left)) {
      if (m->msg == CURLMSG_DONE) {
        finished_ = true;
        ok_ = m->data.result == CURLE_OK;
        if (!ok_) error_ = curl_easy_strerror(m->data.result);
      }
    }
    if (finished_ || broken_ || paused_ || handed_ != had || head_done_ != head) return !cancelled_;
    curl_multi_poll(multi_, nullptr, 0, 200, nullptr);
    return !cancelled_;
  }

  static size_t OnBody(char* data, size_t size, size_t n, void* self) {
    auto* s = static_cast<CurlStream*>(self);
    size_t len = size * n;
    if (!s->head_done_) return len;  // a redirect's body
    if (s->cancelled_) return 0;     // ends the transfer
    if (!s->sink_) {
      // Body bytes in the same round as the head: curl keeps them until the
      // first ReadTo, so nothing piles up here.
      s->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (len == 0) return 0;
    if (!s->sink_->Take(data, len)) {
      s->broken_ = true;
      return 0;
    }
    s->handed_ += long(len);
    return len;
  }

  // Every response head of a redirect chain passes here; the last one counts.
  static size_t OnHeader(char* data, size_t size, size_t n, void* self) {
    auto* s = static_cast<CurlStream*>(self);
    std::string line(data, size * n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
      s->head_ = HttpHead();
      size_t sp = line.find(' ');
      s->head_.status = sp == std::string::npos ? 0 : atoi(line.c_str() + sp + 1);
    } else if (line.empty()) {
      int st = s->head_.status;
      bool redirect = st >= 300 && st < 400 && st != 304;
      if (st >= 200 && !redirect) s->head_done_ = true;
    } else {
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& ch : name) ch = char(tolower(static_cast<unsigned char>(ch)));
        size_t v = colon + 1;
        while (v < line.size() && line[v] == ' ') ++v;
        std::string value = line.substr(v);
        if (name == "content-length") s->head_.content_length = value;
        else if (name == "content-range") s->head_.content_range = value;
        else if (name == "accept-ranges") s->head_.accept_ranges = value;
      }
    }
    return size * n;
  }

  CURLM* multi_;
  CURL* easy_;
  bool added_ = false;
  std::string range_;
  HttpHead head_;
  bool head_done_ = false;
  bool finished_ = false, ok_ = false;
  std::string error_;
  BodySink* sink_ = nullptr;
  long handed_ = 0;        // bytes the sink took in this ReadTo
  bool paused_ = false;    // curl holds body bytes that came with the head
  bool broken_ = false;    // the sink refused bytes, or resuming failed
  std::string rest_;       // Read: what did not fit the caller's buffer
  size_t pos_ = 0;
  std::atomic<bool> cancelled_{false};
};

class CurlTransport : public Transport {
 public:
  std::unique_ptr<HttpStream> NewStream() override { return std::make_unique<CurlStream>(); }
};

}  // namespace

std::unique_ptr<Transport> NewCurlTransport() {
  static CurlGlobal global;
  return std::make_unique<CurlTransport>();
}

}  // namespace xldl
