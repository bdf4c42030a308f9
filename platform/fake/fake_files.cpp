// The fake platform: files and folders, files by UTF-16 path, drives.
#include "platform/fake/fake_impl.h"

#include <system_error>

#include "platform/command_line.h"

namespace mv {
namespace fake {

// ---- Host file system (see fake_impl.h) ------------------------------------
constexpr char kWideOpen = '\x01', kWideClose = '\x02';

// Extended GBK (with escapes) from UTF-16.
std::string ExtFromWide(const std::u16string& w) {
  std::string out;
  for (size_t i = 0; i < w.size();) {
    size_t n = (w[i] >= 0xD800 && w[i] < 0xDC00 && i + 1 < w.size()) ? 2 : 1;
    std::u16string c = w.substr(i, n);
    std::string g = fake::Utf16ToGbk(c);
    if (c != u"?" && (g == "?" || fake::GbkToUtf16(g) != c)) {
      uint32_t cp = n == 2 ? 0x10000 + ((c[0] - 0xD800) << 10) + (c[1] - 0xDC00) : c[0];
      out += kWideOpen;
      if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
      } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      }
      out += static_cast<char>(0x80 | (cp & 0x3F));
      out += kWideClose;
    } else {
      out += g;
    }
    i += n;
  }
  return out;
}

// UTF-16 from extended GBK.
std::u16string WideFromExt(const std::string& ext) {
  std::u16string out;
  size_t i = 0;
  while (i < ext.size()) {
    size_t open = ext.find(kWideOpen, i);
    out += fake::GbkToUtf16(ext.substr(i, open == std::string::npos ? std::string::npos : open - i));
    if (open == std::string::npos) break;
    size_t close = ext.find(kWideClose, open);
    if (close == std::string::npos) close = ext.size();
    out += fake::Utf8ToUtf16(ext.substr(open + 1, close - open - 1));
    i = close + 1;
  }
  return out;
}

fs::path HostName(const std::string& gbk) {
#if defined(_WIN32)
  std::u16string w = WideFromExt(gbk);
  return fs::path(std::wstring(w.begin(), w.end()));
#else
  return fs::path(gbk);
#endif
}

std::string GbkName(const fs::path& p) {
#if defined(_WIN32)
  std::wstring w = p.wstring();
  return ExtFromWide(std::u16string(w.begin(), w.end()));
#else
  return p.string();
#endif
}

std::FILE* OpenHost(const fs::path& p, const char* mode) {
#if defined(_WIN32)
  std::wstring m(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(p.c_str(), m.c_str());
#else
  return std::fopen(p.c_str(), mode);
#endif
}

void RealSleep(uint32_t ms) {
#if defined(_WIN32)
  ::Sleep(ms);
#else
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#endif
}

std::string CleanComponent(std::string c) {
  if (c == "." || c == "..") return c;
  while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
  return c;
}

}  // namespace fake

// ---- Files and folders -------------------------------------------------------

bool FakePlatform::FileExists(const Text& path) {
  if (path.find_first_of("*?") != std::string::npos) return !ListFolder(path).empty();
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  return impl_->Map(path, p) && fs::exists(p, ec);
}

void FakePlatform::CreateFolder(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (impl_->Map(path, p)) fs::create_directory(p, ec);
}

bool FakePlatform::RemoveFile(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return false;
  if (impl_->ReadOnly(p) || impl_->IsOpen(p)) return false;
  if (!fs::remove(p, ec)) return false;
  impl_->attributes.erase(p.native());
  return true;
}

bool FakePlatform::RemoveFolder(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_directory(p, ec)) return false;
  if (p.parent_path() == impl_->root) return false;  // a drive root
  if (!fs::remove(p, ec)) return false;
  impl_->attributes.erase(p.native());
  return true;
}

bool FakePlatform::CopyFileOver(const Text& from, const Text& to) {
  return CopyFileWithProgress(from, to, nullptr);
}

bool FakePlatform::RenameFile(const Text& from, const Text& to) {
  LockGuard g(impl_->mu);
  fs::path a, b;
  std::error_code ec;
  if (!impl_->Map(from, a) || !impl_->Map(to, b) || !fs::exists(a, ec)) return false;
  if (fs::exists(b, ec) && !fs::equivalent(a, b, ec)) return false;  // no overwriting
  if (!fs::is_directory(b.parent_path(), ec) || impl_->IsOpen(a)) return false;
  fs::rename(a, b, ec);
  if (ec) return false;
  auto attr = impl_->attributes.find(a.native());
  if (attr != impl_->attributes.end()) {
    uint32_t v = attr->second;
    impl_->attributes.erase(attr);
    impl_->attributes[b.native()] = v;
  }
  return true;
}

bool FakePlatform::SetAttributes(const Text& path, uint32_t attributes) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::exists(p, ec)) return false;
  impl_->attributes[p.native()] = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return true;
}

uint32_t FakePlatform::GetAttributes(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::exists(p, ec)) return kAttrInvalid;
  bool dir = fs::is_directory(p, ec);
  auto a = impl_->attributes.find(p.native());
  if (a == impl_->attributes.end()) return dir ? kAttrDirectory : kAttrArchive;
  if (dir) return a->second | kAttrDirectory;
  return a->second == 0 ? 0x80u : a->second;  // "normal" when no bit is left
}

bool FakePlatform::WriteWholeFile(const Text& path, const std::vector<Bytes>& pieces) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (path.empty() || !impl_->Map(path, p)) return false;
  if (fs::is_directory(p, ec) || impl_->ReadOnly(p) || impl_->IsOpen(p)) return false;
  std::FILE* f = OpenHost(p, "wb");
  if (!f) return false;
  bool ok = true;
  for (const Bytes& b : pieces) {
    if (!b.empty() && std::fwrite(b.data(), 1, b.size(), f) != b.size()) ok = false;
  }
  return std::fclose(f) == 0 && ok;
}

bool FakePlatform::ReadWholeFile(const Text& path, Bytes& out) {
  fs::path p;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return false;
  }
  std::FILE* f = OpenHost(p, "rb");
  if (!f) return false;
  out.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int64_t FakePlatform::FileSize(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return -1;
  auto n = fs::file_size(p, ec);
  return ec ? -1 : static_cast<int64_t>(n);
}

std::vector<DirEntry> FakePlatform::ListFolder(const Text& pattern) {
  std::vector<DirEntry> out;
  size_t cut = LastSeparator(pattern);
  if (cut == std::string::npos) return out;
  Text folder = pattern.substr(0, cut + 1), mask = pattern.substr(cut + 1);
  if (mask.empty()) return out;
  LockGuard g(impl_->mu);
  fs::path dir;
  std::error_code ec;
  if (!impl_->Map(folder, dir) || !fs::is_directory(dir, ec) || impl_->denied.count(dir.native())) return out;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = GbkName(it->path().filename());
    if (!WildcardMatch(mask, name)) continue;
    DirEntry e;
    e.name = name;
    e.is_directory = it->is_directory(ec);
    if (!e.is_directory) e.size = it->file_size(ec);
    // The host keeps no creation time: the last write time stands in for it.
    auto wt = fs::last_write_time(it->path(), ec);
    auto sys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        wt - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    std::time_t tt = std::chrono::system_clock::to_time_t(sys);
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &tt);
#else
    localtime_r(&tt, &tm);
#endif
    e.created.year = tm.tm_year + 1900;
    e.created.month = tm.tm_mon + 1;
    e.created.day = tm.tm_mday;
    e.created.hour = tm.tm_hour;
    e.created.minute = tm.tm_min;
    e.created.second = tm.tm_sec;
    e.created.weekday = tm.tm_wday;
    out.push_back(e);
  }
  return out;
}

Handle FakePlatform::OpenRead(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return kNoHandle;
  std::FILE* f = OpenHost(p, "rb");
  if (!f) return kNoHandle;
  Handle h = impl_->next_handle++;
  impl_->open_files[h] = OpenFile{f, p.native()};
  return h;
}

Handle FakePlatform::OpenAppendShared(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || fs::is_directory(p, ec) || impl_->ReadOnly(p)) return kNoHandle;
  std::FILE* f = OpenHost(p, "ab");
  if (!f) return kNoHandle;
  Handle h = impl_->next_handle++;
  impl_->open_files[h] = OpenFile{f, p.native()};
  return h;
}

int64_t FakePlatform::Read(Handle file, void* buffer, uint32_t size) {
  std::FILE* f;
  {
    LockGuard g(impl_->mu);
    auto it = impl_->open_files.find(file);
    if (it == impl_->open_files.end()) return -1;
    f = it->second.f;
  }
  size_t n = std::fread(buffer, 1, size, f);
  if (n == 0 && std::ferror(f)) return -1;
  return static_cast<int64_t>(n);
}

bool FakePlatform::Write(Handle file, const void* data, uint32_t size) {
  // Under the lock: one call is one indivisible write, as on Windows.
  LockGuard g(impl_->mu);
  auto it = impl_->open_files.find(file);
  if (it == impl_->open_files.end()) return false;
  bool ok = std::fwrite(data, 1, size, it->second.f) == size;
  return std::fflush(it->second.f) == 0 && ok;
}

void FakePlatform::Close(Handle file) {
  LockGuard g(impl_->mu);
  auto it = impl_->open_files.find(file);
  if (it == impl_->open_files.end()) return;
  std::fclose(it->second.f);
  impl_->open_files.erase(it);
}

bool FakePlatform::CopyFileWithProgress(const Text& from, const Text& to, const CopyProgress& progress) {
  fs::path a, b;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(from, a) || !impl_->Map(to, b) || !fs::is_regular_file(a, ec)) return false;
    if (fs::exists(b, ec) && fs::equivalent(a, b, ec)) return false;
    if (fs::is_directory(b, ec) || impl_->ReadOnly(b) || impl_->IsOpen(b)) return false;
  }
  std::FILE* in = OpenHost(a, "rb");
  if (!in) return false;
  std::FILE* out = OpenHost(b, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  std::error_code ec;
  uint64_t total = fs::file_size(a, ec), copied = 0;
  bool ok = !progress || progress(total, 0);
  std::vector<uint8_t> buf(1 << 16);
  while (ok) {
    size_t n = std::fread(buf.data(), 1, buf.size(), in);
    if (n == 0) {
      ok = !std::ferror(in);
      break;
    }
    if (std::fwrite(buf.data(), 1, n, out) != n) ok = false;
    copied += n;
    if (ok && progress && !progress(total, copied)) ok = false;
  }
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  LockGuard g(impl_->mu);
  if (!ok) {
    fs::remove(b, ec);  // a cancelled or failed copy leaves no partial target
    return false;
  }
  auto attr = impl_->attributes.find(a.native());
  if (attr != impl_->attributes.end()) impl_->attributes[b.native()] = attr->second;
  else impl_->attributes.erase(b.native());
  return true;
}

// ---- Files by UTF-16 path ------------------------------------------------------


bool FakePlatform::PutFileWide(const std::u16string& path, const std::string& content) {
  return PutFile(ExtFromWide(path), content);
}

std::string FakePlatform::FileTextWide(const std::u16string& path) { return FileText(ExtFromWide(path)); }

bool FakePlatform::ListFolderWide(const std::u16string& folder, std::vector<WideEntry>& out) {
  out.clear();
  LockGuard g(impl_->mu);
  fs::path dir;
  std::error_code ec;
  if (!impl_->Map(ExtFromWide(folder), dir)) return false;
  if (!fs::is_directory(dir, ec) || impl_->denied.count(dir.native())) return false;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    WideEntry e;
    e.name = WideFromExt(GbkName(it->path().filename()));
    e.is_directory = it->is_directory(ec);
    e.is_link = it->is_symlink(ec);
    if (!e.is_directory) e.size = it->file_size(ec);
    out.push_back(e);
  }
  return !ec;
}

bool FakePlatform::ExistsWide(const std::u16string& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  return impl_->Map(ExtFromWide(path), p) && fs::exists(fs::symlink_status(p, ec));
}

bool FakePlatform::CreateFolderWide(const std::u16string& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(ExtFromWide(path), p)) return false;
  fs::create_directory(p, ec);
  return fs::is_directory(p, ec);
}

bool FakePlatform::CopyFileWide(const std::u16string& from, const std::u16string& to,
                                const std::function<bool()>& keep_going) {
  fs::path a, b, la, lb;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(ExtFromWide(from), a) || !impl_->Map(ExtFromWide(to), b)) return false;
    la = a;
    lb = b;
    if (!fs::is_regular_file(la, ec)) return false;
    if (fs::exists(lb, ec) && fs::equivalent(la, lb, ec)) return false;
    if (fs::is_directory(lb, ec) || impl_->ReadOnly(b) || impl_->IsOpen(b)) return false;
  }
  // Into a side file first, then over the target in one rename.
  fs::path part = lb;
  part += ".mvpart";
  std::FILE* in = OpenHost(la, "rb");
  if (!in) return false;
  std::FILE* out = OpenHost(part, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  bool ok = true;
  std::vector<uint8_t> buf(1 << 16);
  while (ok) {
    if (keep_going && !keep_going()) {
      ok = false;
      break;
    }
    size_t n = std::fread(buf.data(), 1, buf.size(), in);
    if (n == 0) {
      ok = !std::ferror(in);
      break;
    }
    if (std::fwrite(buf.data(), 1, n, out) != n) ok = false;
  }
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  std::error_code ec;
  LockGuard g(impl_->mu);
  if (ok) fs::rename(part, lb, ec);
  if (!ok || ec) {
    fs::remove(part, ec);
    return false;
  }
  impl_->attributes.erase(b.native());
  return true;
}

std::u16string FakePlatform::ShellFolderWide(int csidl) { return WideFromExt(ShellFolder(csidl)); }

// ---- Drives and folders --------------------------------------------------------

int FakePlatform::DriveType(const Text& root) {
  if (root.size() < 2 || root[1] != ':') return kDriveNoRoot;
  char l = root[0];
  if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 'a' + 'A');
  LockGuard g(impl_->mu);
  auto d = impl_->drives.find(l);
  return d == impl_->drives.end() ? kDriveNoRoot : d->second.type;
}

int64_t FakePlatform::FreeSpaceKb(const Text& drive) {
  char l = drive.empty() ? 'C' : drive[0];
  if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 'a' + 'A');
  LockGuard g(impl_->mu);
  auto d = impl_->drives.find(l);
  if (d == impl_->drives.end() || d->second.type == kDriveNoRoot) return -1;
  return d->second.free_kb;
}

Text FakePlatform::SystemDirectory() {
  LockGuard g(impl_->mu);
  return impl_->system_dir;
}
Text FakePlatform::WindowsDirectory() {
  LockGuard g(impl_->mu);
  return impl_->windows_dir;
}
Text FakePlatform::TempDirectory() {
  LockGuard g(impl_->mu);
  return impl_->temp_dir;
}
Text FakePlatform::ShellFolder(int csidl) {
  LockGuard g(impl_->mu);
  auto s = impl_->shell_folders.find(csidl);
  return s == impl_->shell_folders.end() ? Text() : s->second;
}

}  // namespace mv
