// The fake platform: pages, sizes and cookies served from memory.
#include "platform/fake/fake_impl.h"

namespace mv {

namespace fake {

std::string HostOf(const Text& url) {
  size_t s = url.find("://");
  size_t b = s == std::string::npos ? 0 : s + 3;
  size_t e = url.find_first_of("/:?", b);
  return FoldCase(url.substr(b, e == std::string::npos ? std::string::npos : e - b));
}

}  // namespace fake

// ---- Network ------------------------------------------------------------------------------------

Bytes FakePlatform::FetchUrl(const Text& url) {
  std::function<Bytes(const Text&)> handler;
  Bytes body;
  {
    LockGuard g(impl_->mu);
    impl_->urls_fetched.push_back(url);
    auto it = impl_->urls.find(url);
    if (it != impl_->urls.end()) body = it->second;
    else handler = impl_->url_handler;
  }
  if (handler) body = handler(url);
  if (body.size() > kFetchLimitBytes) body.clear();  // as the adapter: too long is a failure
  return body;
}

int64_t FakePlatform::UrlContentLength(const Text& url) {
  LockGuard g(impl_->mu);
  auto s = impl_->url_sizes.find(url);
  if (s != impl_->url_sizes.end()) return s->second;
  auto it = impl_->urls.find(url);
  return it != impl_->urls.end() ? static_cast<int64_t>(it->second.size()) : -1;
}

void FakePlatform::SetUrlSize(const Text& url, int64_t size) {
  LockGuard g(impl_->mu);
  impl_->url_sizes[url] = size;
}

void FakePlatform::QueueImageFile(const Text& path) {
  LockGuard g(impl_->mu);
  impl_->picks_queued.push_back(path);
}

std::vector<FakeFilePick> FakePlatform::FilePicks() {
  LockGuard g(impl_->mu);
  return impl_->picks;
}

Text FakePlatform::PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) {
  LockGuard g(impl_->mu);
  FakeFilePick p{owner, title.empty() ? Text("打开文件") : title, filter.empty() ? Text("所有文件(*.*)|*.*") : filter,
                 initial_name, Text()};
  if (!impl_->picks_queued.empty()) {
    p.answer = impl_->picks_queued.front();
    impl_->picks_queued.pop_front();
  }
  impl_->picks.push_back(p);
  return p.answer;
}

Text FakePlatform::GetCookies(const Text& url, uint32_t flags) {
  LockGuard g(impl_->mu);
  Text out;
  auto it = impl_->cookies.find(HostOf(url));
  if (it == impl_->cookies.end()) return out;
  for (const auto& c : it->second) {
    if (!out.empty()) out += "; ";
    out += c.first + "=" + c.second;
  }
  return out;
}

bool FakePlatform::SetCookie(const Text& url, const Text& name, const Text& data) {
  {
    LockGuard g(impl_->mu);
    impl_->cookies_set.push_back({url, name, data});
  }
  Text value = data.substr(0, data.find(';'));
  AddCookie(url, name, value);
  return true;
}

void FakePlatform::ClearUrlCache() {
  LockGuard g(impl_->mu);
  ++impl_->cache_clears;
}

}  // namespace mv
