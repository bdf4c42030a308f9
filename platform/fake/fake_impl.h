// The fake platform's shared inside: its state (FakePlatform::Impl), the
// records it keeps and the host file-system helpers, for the files that
// implement its parts (files, registry, dialogs, internet, system).
#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/names.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <thread>
#endif

namespace mv {
namespace fake {

namespace fs = std::filesystem;

// ---- Host file system ----------------------------------------------------
// Names on the host are the GBK bytes themselves on Linux and their UTF-16
// form in the Windows builds. Characters that GBK cannot hold (the files the
// UTF-16 operations make) travel inside the fake's paths as "\x01" + their
// UTF-8 bytes + "\x02", and are kept that way on a Linux host.
std::string ExtFromWide(const std::u16string& w);  // extended GBK from UTF-16
std::u16string WideFromExt(const std::string& ext);  // UTF-16 from extended GBK
fs::path HostName(const std::string& gbk);
std::string GbkName(const fs::path& p);
std::FILE* OpenHost(const fs::path& p, const char* mode);
void RealSleep(uint32_t ms);
inline bool IsSep(char c) { return c == '\\' || c == '/'; }
// Windows drops trailing dots and blanks of a path component.
std::string CleanComponent(std::string c);
// The host of an address, folded (the cookie jar's key).
std::string HostOf(const Text& url);

struct RegValue {
  Text name;        // as first written
  uint32_t type = kRegSz;
  Bytes data;       // text types: GBK bytes with their terminator(s)
};

inline Bytes TextBytes(const Text& t) {
  Bytes b(t.begin(), t.end());
  b.push_back(0);
  return b;
}

struct RegKey {
  Text name;        // last component as first written
  std::map<std::string, RegValue> values;  // by folded name
};

struct Drive {
  int type = kDriveFixed;
  int64_t free_kb = 0;
  bool not_ready = false;  // an empty card reader or CD drive
};

struct OpenFile {
  std::FILE* f = nullptr;
  fs::path::string_type key;
};

struct Thread {
  std::function<void()> body;
  std::atomic<bool> stop{false};
  std::atomic<bool> pause{false};
  std::atomic<bool> done{false};
#if defined(_WIN32)
  HANDLE handle = nullptr;
#else
  std::thread thread;
#endif
};

// The calling thread's error mode (bit 1: no critical-error boxes).
constexpr uint32_t kFailCriticalErrors = 1;

struct Library {
  Text name;
  std::map<std::string, void*> functions;
};
extern thread_local Thread* t_current;
extern thread_local uint32_t t_error_mode;

}  // namespace fake

using namespace fake;

struct FakePlatform::Impl {
  Mutex mu;
  fs::path root;
  std::map<char, Drive> drives;  // upper-case letters
  Text system_dir = "C:\\WINDOWS\\system32";
  Text windows_dir = "C:\\WINDOWS";
  Text temp_dir = "C:\\Users\\user\\AppData\\Local\\Temp\\";
  std::map<int, Text> shell_folders;
  std::map<fs::path::string_type, uint32_t> attributes;
  std::set<fs::path::string_type> denied;  // folders that cannot be listed
  std::map<Handle, OpenFile> open_files;
  Handle next_handle = 0x100;

  std::map<std::string, RegKey> registry;  // "root\\folded\\path"

  std::map<std::string, Text> versions;    // by folded host path
  bool has_wow64 = false;
  bool under_wine = false;
  WindowRef first_own_window = 0;
  uint32_t firmware_error = 1;
  int battery_flag = 128;
  uint64_t memory_mb = 4096;
  std::map<int, std::pair<int, Bytes>> identify;
  std::map<int, std::pair<Text, Text>> device_props;
  std::vector<std::pair<Text, Text>> boards;
  std::vector<Library> libraries;
  std::vector<Text> library_loads;
  int redirection_depth = 0;
  bool wow64_program = false;
  bool administrator = true;
  bool long_mode = true;

  std::vector<std::pair<Text, CodeHandler>> commands;
  std::vector<Text> commands_run;
  std::vector<Text> shell_opens;
  int restarts = 0;
  int ended_with = -1;

  std::deque<int> answers;
  std::deque<std::pair<bool, Text>> text_answers;
  int default_answer = kResOk;
  std::function<int(const FakeDialog&)> dialog_handler;
  std::vector<FakeDialog> dialogs;
  std::deque<Text> picks_queued;
  std::vector<FakeFilePick> picks;

  bool fake_clock = false;
  LocalTime clock_start;
  uint32_t tick_start = 0;
  uint64_t advanced_ms = 0;
  std::function<void(uint32_t)> clock_hook;
  bool in_clock_hook = false;
  std::function<void()> event_hook;
  int event_calls = 0;
  bool locale24 = true;
#if defined(_WIN32)
  DWORD window_thread = 0;
#else
  std::thread::id window_thread;
#endif

  std::map<Text, Bytes> urls;
  std::function<Bytes(const Text&)> url_handler;
  std::vector<Text> urls_fetched;
  std::map<Text, int64_t> url_sizes;
  std::map<std::string, std::vector<std::pair<Text, Text>>> cookies;  // by folded host
  std::vector<std::vector<Text>> cookies_set;
  int cache_clears = 0;

  std::map<Handle, std::shared_ptr<Thread>> threads;

  // The path a 32-bit program on 64-bit Windows reaches while redirection
  // is on: the system directory is the WOW64 one ("SysWOW64"), and the
  // "Sysnative" alias names the real system directory.
  Text Redirected(const Text& path) const {
    if (!wow64_program) return path;
    auto under = [&](const Text& dir) {
      const std::string p = FoldCase(path), d = FoldCase(dir);
      return p.size() >= d.size() && p.compare(0, d.size(), d) == 0 &&
             (p.size() == d.size() || IsSep(p[d.size()]));
    };
    const Text system = windows_dir + "\\system32";
    const Text native = windows_dir + "\\Sysnative";
    if (redirection_depth == 0 && under(system)) return windows_dir + "\\SysWOW64" + path.substr(system.size());
    if (under(native)) return system + path.substr(native.size());
    return path;
  }

  // Maps a Windows path onto the host; false when it is on no drive. The
  // program's own view (redirect) goes through WOW64 redirection when the
  // fake plays a 32-bit program on 64-bit Windows; the set-up helpers do not.
  bool Map(const Text& windows_path, fs::path& out, bool redirect = true) {
    const Text path = redirect ? Redirected(windows_path) : windows_path;
    if (path.size() < 2 || path[1] != ':') return false;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    auto d = drives.find(letter);
    if (d == drives.end() || d->second.type == kDriveNoRoot) return false;
    if (d->second.not_ready) {
      // Windows asks the user to insert a disk, unless the thread said not to.
      if (!(t_error_mode & kFailCriticalErrors)) {
        FakeDialog box;
        box.text = "驱动器中没有磁盘。请将磁盘插入驱动器 " + Text(1, letter) + ":。";
        box.caption = "Windows - 没有磁盘";
        box.flags = kMbIconError | kMbSystemModal;
        dialogs.push_back(box);
      }
      return false;
    }
    fs::path p = root / std::string(1, static_cast<char>(letter - 'A' + 'a'));
    std::vector<std::string> parts;
    size_t i = 2;
    while (i < path.size()) {
      while (i < path.size() && IsSep(path[i])) ++i;
      size_t j = i;
      while (j < path.size() && !IsSep(path[j])) j += GbkCharLength(path, j);
      if (j > path.size()) j = path.size();
      if (j > i) {
        std::string c = CleanComponent(path.substr(i, j - i));
        if (c == "..") {
          if (!parts.empty()) parts.pop_back();
        } else if (c != "." && !c.empty()) {
          parts.push_back(c);
        }
      }
      i = j;
    }
    bool exists = true;
    for (const std::string& c : parts) {
      fs::path next = p / HostName(c);
      std::error_code ec;
      if (exists && !fs::exists(next, ec)) {
        bool found = false;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
          if (SameNameNoCase(GbkName(it->path().filename()), c)) {
            next = it->path();
            found = true;
            break;
          }
        }
        exists = found;
      }
      p = next;
    }
    out = p;
    return true;
  }

  bool IsOpen(const fs::path& p) {
    for (const auto& f : open_files) {
      if (f.second.key == p.native()) return true;
    }
    return false;
  }

  bool ReadOnly(const fs::path& p) {
    auto a = attributes.find(p.native());
    return a != attributes.end() && (a->second & kAttrReadOnly);
  }

  static std::string RegPath(RegRoot root, const Text& key) {
    std::string k = key;
    while (!k.empty() && k.front() == '\\') k.erase(0, 1);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    return std::to_string(static_cast<int>(root)) + (k.empty() ? "" : "\\" + FoldCase(k));
  }

  RegKey* CreateKey(RegRoot r, const Text& key) {
    std::string k = key;
    while (!k.empty() && k.front() == '\\') k.erase(0, 1);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    std::string path = std::to_string(static_cast<int>(r));
    RegKey* node = &registry[path];
    size_t i = 0;
    while (i < k.size()) {
      size_t j = k.find('\\', i);
      if (j == std::string::npos) j = k.size();
      if (j > i) {
        std::string part = k.substr(i, j - i);
        path += "\\" + FoldCase(part);
        node = &registry[path];
        if (node->name.empty()) node->name = part;
      }
      i = j + 1;
    }
    return node;
  }

  RegValue* FindValue(RegRoot r, const Text& key, const Text& name) {
    auto k = registry.find(RegPath(r, key));
    if (k == registry.end()) return nullptr;
    auto v = k->second.values.find(FoldCase(name));
    return v == k->second.values.end() ? nullptr : &v->second;
  }

  int Answer(FakeDialog d) {
    std::function<int(const FakeDialog&)> handler;
    {
      LockGuard g(mu);
      if (!answers.empty()) {
        d.answer = answers.front();
        answers.pop_front();
      } else {
        d.answer = default_answer;
      }
      handler = dialog_handler;
    }
    if (handler) d.answer = handler(d);
    LockGuard g(mu);
    dialogs.push_back(d);
    return d.answer;
  }
};

}  // namespace mv
