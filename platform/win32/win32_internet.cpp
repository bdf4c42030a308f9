// The Win32 adapter, part 4: the internet library (page fetches, sizes,
// cookies and the URL cache).
#include "platform/win32/win32_platform.h"

#include <wininet.h>

#include <memory>

namespace mv {

namespace {

// One page fetch, shared by the caller and the thread that does it: a
// caller that stops waiting leaves the rest to the thread, whose last
// reference frees it.
struct PageFetch {
  std::wstring url;
  Bytes body;
  bool ok = false;
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~PageFetch() {
    if (done) ::CloseHandle(done);
  }
};

void FetchPage(PageFetch& f) {
  const DWORD start = ::GetTickCount();
  HINTERNET net = ::InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 8.0)", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                  nullptr, 0);
  if (!net) return;
  // Where the library honours them, no single wait outlasts the bound.
  DWORD timeout = kFetchTimeoutMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionW(net, option, &timeout, sizeof timeout);
  HINTERNET req = ::InternetOpenUrlW(net, f.url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                     0);
  if (req) {
    // An HTTP error page is not the body that was asked for.
    DWORD status = 0, len = sizeof status, index = 0;
    bool ok = true;
    if (::HttpQueryInfoW(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len, &index)) {
      ok = status >= 200 && status < 300;
    }
    uint8_t buf[16384];
    DWORD got = 0;
    while (ok) {
      if (::GetTickCount() - start >= kFetchTimeoutMs || !::InternetReadFile(req, buf, sizeof buf, &got)) {
        ok = false;
        break;
      }
      if (got == 0) break;
      if (f.body.size() + got > kFetchLimitBytes) {
        ok = false;
        break;
      }
      f.body.insert(f.body.end(), buf, buf + got);
    }
    f.ok = ok;
    ::InternetCloseHandle(req);
  }
  ::InternetCloseHandle(net);
}

DWORD WINAPI PageFetchThread(LPVOID arg) {
  std::unique_ptr<std::shared_ptr<PageFetch>> f(static_cast<std::shared_ptr<PageFetch>*>(arg));
  FetchPage(**f);
  ::SetEvent((*f)->done);
  return 0;
}

}  // namespace

Bytes Win32Platform::FetchUrl(const Text& url) {
  // On a thread of its own, so that the bound holds whatever the internet
  // library does with its time-outs (a server that accepts and never
  // answers, a name that takes long to resolve).
  auto fetch = std::make_shared<PageFetch>();
  fetch->url = Wide(url);
  if (!fetch->done) return Bytes();
  auto* arg = new std::shared_ptr<PageFetch>(fetch);
  HANDLE thread = ::CreateThread(nullptr, 0, PageFetchThread, arg, 0, nullptr);
  if (!thread) {
    delete arg;
    return Bytes();
  }
  ::CloseHandle(thread);
  if (::WaitForSingleObject(fetch->done, kFetchTimeoutMs) != WAIT_OBJECT_0 || !fetch->ok) return Bytes();
  return fetch->body;
}

int64_t Win32Platform::UrlContentLength(const Text& url) {
  int64_t size = -1;
  HINTERNET net = ::InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 8.0)", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                  nullptr, 0);
  if (!net) return size;
  // The headers of a GET are enough: the handle is closed before the body is read.
  HINTERNET req = ::InternetOpenUrlW(net, Wide(url).c_str(), nullptr, 0,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (req) {
    DWORD status = 0, len = sizeof status, index = 0;
    const bool ok = ::HttpQueryInfoW(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len, &index) &&
                    status >= 200 && status < 300;
    // As text: the number form is 32-bit and images pass 4 GB.
    wchar_t text[32] = {0};
    len = sizeof text - sizeof(wchar_t);
    index = 0;
    if (ok && ::HttpQueryInfoW(req, HTTP_QUERY_CONTENT_LENGTH, text, &len, &index)) {
      int64_t v = 0;
      bool digits = text[0] != 0;
      for (const wchar_t* c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9' || v > (INT64_MAX - 9) / 10) {
          digits = false;
          break;
        }
        v = v * 10 + (*c - L'0');
      }
      if (digits) size = v;
    }
    ::InternetCloseHandle(req);
  }
  ::InternetCloseHandle(net);
  return size;
}

Text Win32Platform::GetCookies(const Text& url, uint32_t flags) {
  std::wstring u = Wide(url);
  typedef BOOL(WINAPI * GetEx)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD, DWORD, LPVOID);
  GetEx ex = flags ? Resolve<GetEx>(L"wininet.dll", "InternetGetCookieExW") : nullptr;
  if (flags && !ex) return {};  // an old internet library holds no such cookies
  DWORD size = 0;
  BOOL sized = ex ? ex(u.c_str(), nullptr, nullptr, &size, flags, nullptr)
                  : ::InternetGetCookieW(u.c_str(), nullptr, nullptr, &size);
  if (!sized || size == 0) return {};
  // The size is in bytes for some versions and in characters for others.
  std::wstring buf(size + 1, L'\0');
  DWORD cap = static_cast<DWORD>(buf.size());
  BOOL got = ex ? ex(u.c_str(), nullptr, &buf[0], &cap, flags, nullptr)
                : ::InternetGetCookieW(u.c_str(), nullptr, &buf[0], &cap);
  if (!got) return {};
  return Gbk(buf.c_str());
}

bool Win32Platform::SetCookie(const Text& url, const Text& name, const Text& data) {
  return ::InternetSetCookieW(Wide(url).c_str(), Wide(name).c_str(), Wide(data).c_str()) != 0;
}

void Win32Platform::ClearUrlCache() {
  std::vector<BYTE> buf(4096);
  DWORD size = static_cast<DWORD>(buf.size());
  auto entry = [&]() { return reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(buf.data()); };
  HANDLE find = ::FindFirstUrlCacheEntryW(nullptr, entry(), &size);
  if (!find && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buf.resize(size);
    find = ::FindFirstUrlCacheEntryW(nullptr, entry(), &size);
  }
  if (!find) return;
  for (;;) {
    ::DeleteUrlCacheEntryW(entry()->lpszSourceUrlName);
    size = static_cast<DWORD>(buf.size());
    if (::FindNextUrlCacheEntryW(find, entry(), &size)) continue;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buf.resize(size);
    if (!::FindNextUrlCacheEntryW(find, entry(), &size)) break;
  }
  ::FindCloseUrlCache(find);
}

}  // namespace mv
