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

  // Body bytes go straight into the caller's buffer while a Read waits;
  // what does not fit is kept for the next Read.
  long Read(void* buf, size_t size) override {
    if (pos_ < buf_.size()) {
      size_t n = std::min(size, buf_.size() - pos_);
      memcpy(buf, buf_.data() + pos_, n);
      pos_ += n;
      return long(n);
    }
    buf_.clear();
    pos_ = 0;
    direct_ = static_cast<char*>(buf);
    direct_size_ = size;
    direct_used_ = 0;
    while (direct_used_ == 0 && buf_.empty()) {
      if (finished_) break;
      if (!Pump()) {
        direct_ = nullptr;
        return -1;
      }
    }
    direct_ = nullptr;
    if (direct_used_ > 0) return long(direct_used_);
    if (!buf_.empty()) return Read(buf, size);
    return ok_ ? 0 : -1;
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
    size_t had = buf_.size() + direct_used_;
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
    if (finished_ || buf_.size() + direct_used_ != had || head_done_ != head) return !cancelled_;
    curl_multi_poll(multi_, nullptr, 0, 200, nullptr);
    return !cancelled_;
  }

  static size_t OnBody(char* data, size_t size, size_t n, void* self) {
    auto* s = static_cast<CurlStream*>(self);
    if (!s->head_done_) return size * n;  // a redirect's body
    size_t len = size * n;
    if (s->direct_ && s->buf_.empty()) {
      size_t take = std::min(len, s->direct_size_ - s->direct_used_);
      memcpy(s->direct_ + s->direct_used_, data, take);
      s->direct_used_ += take;
      data += take;
      len -= take;
    }
    if (len) s->buf_.append(data, len);
    return size * n;
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
  std::string buf_;
  size_t pos_ = 0;
  char* direct_ = nullptr;
  size_t direct_size_ = 0, direct_used_ = 0;
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
