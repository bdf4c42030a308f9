// The stand-in's boot store: its entries and elements, the store a fresh
// system has, and the text file the store is kept in beside the program.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "bcd_standin.h"

namespace bcdstandin {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

// "X:" with a drive letter, upper-cased; empty when it is not one.
std::string DriveSpec(const std::string& s) {
  if (s.size() != 2 || s[1] != ':') return {};
  char c = s[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return {};
  return std::string(1, c) + ":";
}

const std::string* Entry::Find(const std::string& name) const {
  const std::string n = Lower(name);
  for (const auto& el : elements)
    if (el.first == n) return &el.second;
  return nullptr;
}

std::string Entry::Get(const std::string& name) const {
  const std::string* v = Find(name);
  return v ? *v : std::string();
}

void Entry::Set(const std::string& name, const std::string& value) {
  const std::string n = Lower(name);
  for (auto& el : elements) {
    if (el.first == n) {
      el.second = value;
      return;
    }
  }
  elements.emplace_back(n, value);
}

void Entry::Remove(const std::string& name) {
  const std::string n = Lower(name);
  elements.erase(std::remove_if(elements.begin(), elements.end(), [&](const auto& el) { return el.first == n; }),
                 elements.end());
}

Entry* Store::Find(const std::string& id) {
  if (id.empty()) return nullptr;
  const std::string n = Lower(id);
  for (auto& e : entries)
    if (e.id == n) return &e;
  return nullptr;
}

const Entry* Store::Find(const std::string& id) const { return const_cast<Store*>(this)->Find(id); }

Entry& Store::BootManager() {
  if (Entry* e = Find("{bootmgr}")) return *e;
  Entry e;
  e.id = "{bootmgr}";
  e.kind = "bootmgr";
  entries.insert(entries.begin(), e);
  return entries.front();
}

std::vector<const Entry*> Store::OfKind(const std::string& kind) const {
  std::vector<const Entry*> out;
  for (const auto& e : entries)
    if (e.kind == kind) out.push_back(&e);
  return out;
}

bool IsGuidId(const std::string& id) {
  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
  if (id.size() != 38 || id.front() != '{' || id.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? id[i] != '-' : !IsHex(id[i])) return false;
  }
  return true;
}

std::string RandomId() {
  static std::mt19937_64 rng = [] {
    std::random_device rd;
    const uint64_t t = static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seq{rd(), rd(), static_cast<unsigned>(t), static_cast<unsigned>(t >> 32)};
    return std::mt19937_64(seq);
  }();
  uint8_t b[16];
  for (int i = 0; i < 16; i += 8) {
    const uint64_t r = rng();
    for (int k = 0; k < 8; ++k) b[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // variant 1
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x}", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return buf;
}

Store DefaultStore(char system_drive, bool uefi) {
  const std::string drive = DriveSpec(std::string(1, system_drive) + ":").empty()
                                ? std::string("C:")
                                : DriveSpec(std::string(1, system_drive) + ":");
  Store s;
  Entry loader;
  loader.id = RandomId();
  loader.kind = "osloader";
  loader.Set("device", "partition=" + drive);
  loader.Set("path", uefi ? "\\Windows\\system32\\winload.efi" : "\\Windows\\system32\\winload.exe");
  loader.Set("description", "Windows 7");
  loader.Set("locale", "en-US");
  loader.Set("inherit", "{bootloadersettings}");
  loader.Set("osdevice", "partition=" + drive);
  loader.Set("systemroot", "\\Windows");
  loader.Set("nx", "OptIn");
  Entry mgr;
  mgr.id = "{bootmgr}";
  mgr.kind = "bootmgr";
  mgr.Set("device", "partition=\\Device\\HarddiskVolume1");
  mgr.Set("path", uefi ? "\\EFI\\Microsoft\\Boot\\bootmgfw.efi" : "\\bootmgr");
  mgr.Set("description", "Windows Boot Manager");
  mgr.Set("locale", "en-US");
  mgr.Set("inherit", "{globalsettings}");
  mgr.Set("default", loader.id);
  mgr.Set("displayorder", loader.id);
  mgr.Set("toolsdisplayorder", "{memdiag}");
  mgr.Set("timeout", "30");
  s.current = loader.id;
  s.entries.push_back(mgr);
  s.entries.push_back(loader);
  return s;
}

std::string Serialize(const Store& store) {
  std::string out = "; Boot store of the bcdedit stand-in (a test double, not a boot configuration)\n";
  out += "current=" + store.current + "\n";
  for (const auto& e : store.entries) {
    out += "\n[" + e.id + "]\nkind=" + e.kind + "\n";
    for (const auto& el : e.elements) out += el.first + "=" + el.second + "\n";
  }
  return out;
}

bool Parse(const std::string& text, Store& store) {
  store = Store{};
  std::istringstream in(text);
  std::string line;
  Entry* entry = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) return false;
      Entry e;
      e.id = Lower(line.substr(1, line.size() - 2));
      store.entries.push_back(e);
      entry = &store.entries.back();
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    const std::string name = Lower(line.substr(0, eq));
    const std::string value = line.substr(eq + 1);
    if (!entry) {
      if (name != "current") return false;
      store.current = Lower(value);
    } else if (name == "kind") {
      entry->kind = value;
    } else {
      entry->Set(name, value);
    }
  }
  for (const auto& e : store.entries)
    if (e.kind != "bootmgr" && e.kind != "osloader" && e.kind != "device") return false;
  return true;
}

bool LoadStore(const std::string& path, char system_drive, Store& store) {
  bool seeded = false;
  return LoadStore(path, system_drive, store, seeded);
}

bool LoadStore(const std::string& path, char system_drive, Store& store, bool& seeded) {
  std::ifstream in(path, std::ios::binary);
  seeded = !in;
  if (seeded) {
    store = DefaultStore(system_drive, false);
    return true;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str(), store);
}

bool SaveStore(const std::string& path, const Store& store) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string text = Serialize(store);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      out.close();
      std::remove(tmp.c_str());
      return false;
    }
  }
#if defined(_WIN32)
  if (!MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(tmp.c_str());
    return false;
  }
#else
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
#endif
  return true;
}

}  // namespace bcdstandin
