#include "tools/xldl/transport_wininet.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <string>

#include "tools/xldl/sys.h"
#include "tools/xldl/text.h"

namespace xldl {

namespace {

std::string QueryText(HINTERNET req, DWORD what) {
  wchar_t buf[256];
  DWORD len = sizeof buf;
  DWORD index = 0;
  if (!HttpQueryInfoW(req, what, buf, &len, &index)) return "";
  return WideToUtf8(std::wstring(buf, len / sizeof(wchar_t)));
}

// Each stream has its own session handle, so that closing it from another
// thread aborts a connect or a read that blocks (the WinINet way to cancel).
class WinInetStream : public HttpStream {
 public:
  ~WinInetStream() override { Close(); }

  bool Open(const std::string& url, int64_t first, int64_t last, HttpHead* head, std::string* error) override {
    HINTERNET session = InternetOpenW(L"xldl/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) {
      *error = "InternetOpen " + std::to_string(GetLastError());
      return false;
    }
    DWORD ms = 30000;
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    ms = 120000;  // the engine's own stall watch acts sooner
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
    {
      Guard g(lock_);
      if (cancelled_) {
        InternetCloseHandle(session);
        *error = "cancelled";
        return false;
      }
      session_ = session;
    }
    std::wstring headers;
    if (first >= 0) {
      std::string r = "Range: bytes=" + std::to_string(first) + "-" + (last >= 0 ? std::to_string(last) : std::string()) + "\r\n";
      headers = Utf8ToWide(r);
    }
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_KEEP_CONNECTION;
    HINTERNET req = InternetOpenUrlW(session, Utf8ToWide(url).c_str(), headers.empty() ? nullptr : headers.c_str(),
                                     headers.empty() ? 0 : DWORD(headers.size()), flags, 0);
    if (!req) {
      *error = "InternetOpenUrl " + std::to_string(GetLastError());
      return false;
    }
    {
      Guard g(lock_);
      if (cancelled_) {
        InternetCloseHandle(req);
        *error = "cancelled";
        return false;
      }
      req_ = req;
    }
    DWORD code = 0, len = sizeof code, index = 0;
    if (!HttpQueryInfoW(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &len, &index)) {
      *error = "no status";
      return false;
    }
    head->status = int(code);
    // As text: the numeric form of the length is 32-bit.
    head->content_length = QueryText(req, HTTP_QUERY_CONTENT_LENGTH);
    head->content_range = QueryText(req, HTTP_QUERY_CONTENT_RANGE);
    head->accept_ranges = QueryText(req, HTTP_QUERY_ACCEPT_RANGES);
    return true;
  }

  long Read(void* buf, size_t size) override {
    HINTERNET req;
    {
      Guard g(lock_);
      if (cancelled_ || !req_) return -1;
      req = req_;
    }
    DWORD got = 0;
    DWORD want = size > 0x100000 ? 0x100000 : DWORD(size);
    if (!InternetReadFile(req, buf, want, &got) || cancelled_) return -1;
    return long(got);
  }

  void Cancel() override {
    cancelled_ = true;
    Close();
  }

 private:
  void Close() {
    Guard g(lock_);
    if (req_) InternetCloseHandle(req_);
    if (session_) InternetCloseHandle(session_);
    req_ = session_ = nullptr;
  }

  Lock lock_;
  HINTERNET session_ = nullptr;
  HINTERNET req_ = nullptr;
  std::atomic<bool> cancelled_{false};
};

class WinInetTransport : public Transport {
 public:
  std::unique_ptr<HttpStream> NewStream() override { return std::make_unique<WinInetStream>(); }
};

}  // namespace

std::unique_ptr<Transport> NewWinInetTransport() { return std::make_unique<WinInetTransport>(); }

}  // namespace xldl
