#include "bcd_standin.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace bcdstandin {
namespace {

const char kCrlf[] = "\r\n";
const char kOk[] = "The operation completed successfully.\r\n";
const char kNotFound[] = "The system cannot find the file specified.\r\n";
const char kBadParameter[] = "The parameter is incorrect.\r\n";

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// How an element's value is checked and shown.
enum class ValueKind { kString, kDevice, kBool, kInteger, kId, kIdList };

struct ElementDef {
  const char* name;
  uint32_t type;  // the element type number: the listing shows elements in this order
  ValueKind kind;
};

const ElementDef kElements[] = {
    {"device", 0x11000001, ValueKind::kDevice},
    {"path", 0x12000002, ValueKind::kString},
    {"description", 0x12000004, ValueKind::kString},
    {"locale", 0x12000005, ValueKind::kString},
    {"inherit", 0x14000006, ValueKind::kIdList},
    {"recoverysequence", 0x14000008, ValueKind::kIdList},
    {"recoveryenabled", 0x16000009, ValueKind::kBool},
    {"bootdebug", 0x16000010, ValueKind::kBool},
    {"bootems", 0x16000020, ValueKind::kBool},
    {"osdevice", 0x21000001, ValueKind::kDevice},
    {"systemroot", 0x22000002, ValueKind::kString},
    {"kernel", 0x22000011, ValueKind::kString},
    {"hal", 0x22000012, ValueKind::kString},
    {"default", 0x23000003, ValueKind::kId},
    {"resumeobject", 0x23000006, ValueKind::kId},
    {"displayorder", 0x24000001, ValueKind::kIdList},
    {"toolsdisplayorder", 0x24000010, ValueKind::kIdList},
    {"timeout", 0x25000004, ValueKind::kInteger},
    {"nx", 0x25000020, ValueKind::kString},
    {"pae", 0x25000021, ValueKind::kString},
    {"bootmenupolicy", 0x250000c2, ValueKind::kString},
    {"detecthal", 0x26000010, ValueKind::kBool},
    {"winpe", 0x26000022, ValueKind::kBool},
    {"sos", 0x26000091, ValueKind::kBool},
    {"ramdisksdidevice", 0x31000003, ValueKind::kDevice},
    {"ramdisksdipath", 0x32000004, ValueKind::kString},
};

const ElementDef* FindElement(const std::string& name) {
  const std::string n = Lower(name);
  for (const auto& e : kElements)
    if (n == e.name) return &e;
  return nullptr;
}

std::string InvalidCommand(const std::string& command) {
  std::string out = "The " + command + " command specified is not valid.\r\n";
  out += "Run \"bcdedit /?\" for command line assistance.\r\n";
  out += kBadParameter;
  return out;
}

std::vector<std::string> SplitBlanks(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  std::string piece;
  while (in >> piece) out.push_back(piece);
  return out;
}

std::string JoinBlanks(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) {
    if (!out.empty()) out += ' ';
    out += s;
  }
  return out;
}

// "X:" with a drive letter, upper-cased; empty when it is not one.
std::string DriveSpec(const std::string& s) {
  if (s.size() != 2 || s[1] != ':') return {};
  char c = s[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return {};
  return std::string(1, c) + ":";
}

// Checks a device value as the tool does and gives its stored form; empty
// when the tool would refuse it (an unexpanded "%systemdrive%" for example).
std::string NormalizeDevice(const std::string& value) {
  const std::string v = Lower(value);
  if (v == "boot" || v == "locate") return v;
  if (v.rfind("partition=", 0) == 0) {
    const std::string rest = value.substr(10);
    const std::string drive = DriveSpec(rest);
    if (!drive.empty()) return "partition=" + drive;
    if (Lower(rest).rfind("\\device\\", 0) == 0 && rest.size() > 8) return "partition=" + rest;
    return {};
  }
  if (v.rfind("ramdisk=[", 0) == 0) {
    const size_t close = value.find(']');
    if (close == std::string::npos) return {};
    const std::string drive = DriveSpec(value.substr(9, close - 9));
    if (drive.empty()) return {};
    const size_t comma = value.rfind(',');
    if (comma == std::string::npos || comma < close) return {};
    const std::string file = value.substr(close + 1, comma - close - 1);
    const std::string options = Lower(value.substr(comma + 1));
    if (file.empty() || file[0] != '\\' || !IsGuidId(options)) return {};
    return "ramdisk=[" + drive + "]" + file + "," + options;
  }
  return {};
}

bool ParseBool(const std::string& value, std::string& out) {
  const std::string v = Lower(value);
  if (v == "yes" || v == "on" || v == "true" || v == "1") {
    out = "Yes";
    return true;
  }
  if (v == "no" || v == "off" || v == "false" || v == "0") {
    out = "No";
    return true;
  }
  return false;
}

bool IsDecimal(const std::string& s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Pad(const std::string& label) {
  std::string out = label;
  do out += ' ';
  while (out.size() < 24);
  return out;
}

class Runner {
 public:
  Runner(Store& store, std::string& out, bool& changed, const IdMaker& make_id)
      : store_(store), out_(out), changed_(changed), make_id_(make_id) {}

  int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Enumerate("active", false);
    const std::string cmd = Lower(args[0]);
    const std::string name = cmd.size() > 1 && (cmd[0] == '/' || cmd[0] == '-') ? cmd.substr(1) : cmd;
    if (name == "enum" || name == "v") return EnumCommand(args);
    if (name == "create") return Create(args);
    if (name == "set") return SetCommand(args);
    if (name == "delete") return Delete(args);
    if (name == "default") return Default(args);
    if (name == "timeout") return Timeout(args);
    if (name == "displayorder") return DisplayOrder(args);
    out_ += "The command specified is not valid.\r\nRun \"bcdedit /?\" for command line assistance.\r\n";
    out_ += kBadParameter;
    return 1;
  }

 private:
  // The stored id an identifier argument names: well-known names resolved,
  // GUIDs lower-cased. Empty when it is not a well-formed identifier.
  std::string Resolve(const std::string& arg) const {
    const std::string id = Lower(arg);
    if (id == "{bootmgr}") return id;
    if (id == "{current}") return store_.current;
    if (id == "{default}") {
      const Entry* mgr = store_.Find("{bootmgr}");
      return mgr ? mgr->Get("default") : std::string();
    }
    return IsGuidId(id) ? id : std::string();
  }

  bool WellFormed(const std::string& arg) const {
    const std::string id = Lower(arg);
    return id == "{bootmgr}" || id == "{current}" || id == "{default}" || IsGuidId(id);
  }

  // What the listing shows for a stored id.
  std::string Shown(const std::string& id) const {
    if (verbose_) return id;
    if (!store_.current.empty() && id == store_.current) return "{current}";
    const Entry* mgr = store_.Find("{bootmgr}");
    if (mgr && id == mgr->Get("default") && IsGuidId(id)) return "{default}";
    return id;
  }

  int ReferenceError(const char* what) {
    out_ += std::string("An error occurred while attempting to ") + what + " the specified entry.\r\n";
    out_ += kNotFound;
    return 1;
  }

  int EnumCommand(const std::vector<std::string>& args) {
    std::string type = "active";
    bool verbose = false;
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string a = Lower(args[i]);
      if (a == "/v" || a == "-v") {
        verbose = true;
      } else if (a == "/enum" || a == "-enum") {
        if (i + 1 < args.size() && args[i + 1][0] != '/' && args[i + 1][0] != '-') type = Lower(args[++i]);
      } else {
        out_ += InvalidCommand("enum");
        return 1;
      }
    }
    if (type != "active" && type != "all" && type != "osloader" && type != "bootmgr") {
      out_ += InvalidCommand("enum");
      return 1;
    }
    return Enumerate(type, verbose);
  }

  void Block(const Entry& e) {
    const char* title = e.kind == "bootmgr"    ? "Windows Boot Manager"
                        : e.kind == "osloader" ? "Windows Boot Loader"
                                               : "Device options";
    out_ += kCrlf;
    out_ += title;
    out_ += kCrlf;
    out_ += std::string(std::char_traits<char>::length(title), '-');
    out_ += kCrlf;
    out_ += Pad("identifier") + Shown(e.id) + kCrlf;
    std::vector<std::pair<uint32_t, size_t>> order;
    for (size_t i = 0; i < e.elements.size(); ++i) {
      const ElementDef* def = FindElement(e.elements[i].first);
      order.emplace_back(def ? def->type : 0xFFFFFFFFu, i);
    }
    std::stable_sort(order.begin(), order.end());
    for (const auto& o : order) {
      const auto& el = e.elements[o.second];
      const ElementDef* def = FindElement(el.first);
      const ValueKind kind = def ? def->kind : ValueKind::kString;
      if (kind == ValueKind::kIdList || kind == ValueKind::kId) {
        const std::vector<std::string> ids = SplitBlanks(el.second);
        for (size_t i = 0; i < ids.size(); ++i)
          out_ += (i == 0 ? Pad(el.first) : std::string(24, ' ')) + Shown(ids[i]) + kCrlf;
      } else {
        out_ += Pad(el.first) + el.second + kCrlf;
      }
    }
  }

  int Enumerate(const std::string& type, bool verbose) {
    verbose_ = verbose;
    const Entry* mgr = store_.Find("{bootmgr}");
    if (type == "active" || type == "all" || type == "bootmgr") {
      if (mgr) Block(*mgr);
    }
    if (type == "active" && mgr) {
      for (const auto& id : SplitBlanks(mgr->Get("displayorder"))) {
        const Entry* e = store_.Find(id);
        if (e && e->kind != "bootmgr") Block(*e);
      }
    }
    if (type == "all" || type == "osloader") {
      for (const Entry* e : store_.OfKind("osloader")) Block(*e);
    }
    if (type == "all") {
      for (const Entry* e : store_.OfKind("device")) Block(*e);
    }
    verbose_ = false;
    return 0;
  }

  int Create(const std::vector<std::string>& args) {
    std::string id, description, kind;
    bool has_description = false;
    for (size_t i = 1; i < args.size(); ++i) {
      const std::string a = Lower(args[i]);
      if (i == 1 && !a.empty() && a[0] == '{') {
        if (!IsGuidId(a)) {
          out_ += InvalidCommand("create");
          return 1;
        }
        id = a;
      } else if (a == "/d" && i + 1 < args.size()) {
        description = args[++i];
        has_description = true;
      } else if (a == "/device" && kind.empty()) {
        kind = "device";
      } else if (a == "/application" && kind.empty() && i + 1 < args.size()) {
        if (Lower(args[++i]) != "osloader") {
          out_ += "The application type specified is not valid.\r\n";
          out_ += "Run \"bcdedit /?\" for command line assistance.\r\n";
          out_ += kBadParameter;
          return 1;
        }
        kind = "osloader";
      } else {
        out_ += InvalidCommand("create");
        return 1;
      }
    }
    if (kind.empty()) {
      out_ += InvalidCommand("create");
      return 1;
    }
    if (!has_description) {
      out_ += "A description must be specified for the new entry.\r\n";
      out_ += "Run \"bcdedit /?\" for command line assistance.\r\n";
      out_ += kBadParameter;
      return 1;
    }
    if (description.find_first_of("\r\n") != std::string::npos) {
      out_ += InvalidCommand("create");
      return 1;
    }
    if (id.empty()) {
      do id = Lower(make_id_());
      while (store_.Find(id));
    } else if (store_.Find(id)) {
      out_ += "An error occurred while attempting to create the specified entry.\r\n";
      out_ += "The object already exists.\r\n";
      return 1;
    }
    Entry e;
    e.id = id;
    e.kind = kind;
    e.Set("description", description);
    store_.entries.push_back(e);
    changed_ = true;
    out_ += "The entry " + id + " was successfully created.\r\n";
    return 0;
  }

  int SetCommand(const std::vector<std::string>& args) {
    std::string id_arg, element, value;
    if (args.size() == 4) {
      id_arg = args[1], element = args[2], value = args[3];
    } else if (args.size() == 3 && !args[1].empty() && args[1][0] != '{') {
      id_arg = "{current}", element = args[1], value = args[2];
    } else {
      out_ += InvalidCommand("set");
      return 1;
    }
    if (!WellFormed(id_arg)) {
      out_ += InvalidCommand("set");
      return 1;
    }
    Entry* e = store_.Find(Resolve(id_arg));
    if (!e) return ReferenceError("reference");
    const ElementDef* def = FindElement(element);
    if (!def) {
      out_ += "The element data type specified is not recognized, or does not apply to the specified entry.\r\n";
      out_ += "Run \"bcdedit /?\" for command line assistance.\r\n";
      out_ += "Element not found.\r\n";
      return 1;
    }
    std::string stored;
    bool ok = value.find_first_of("\r\n") == std::string::npos;
    switch (def->kind) {
      case ValueKind::kString:
        stored = value;
        ok = ok && !value.empty();
        break;
      case ValueKind::kDevice:
        stored = NormalizeDevice(value);
        ok = ok && !stored.empty();
        break;
      case ValueKind::kBool:
        ok = ok && ParseBool(value, stored);
        break;
      case ValueKind::kInteger:
        stored = value;
        ok = ok && IsDecimal(value);
        break;
      case ValueKind::kId:
      case ValueKind::kIdList: {
        std::vector<std::string> ids;
        for (const auto& piece : SplitBlanks(value)) {
          const std::string r = Resolve(piece);
          if (r.empty() && piece.size() > 2 && piece.front() == '{' && piece.back() == '}') {
            ids.push_back(Lower(piece));  // a settings object such as {globalsettings}
          } else if (r.empty() || (r != "{bootmgr}" && !store_.Find(r))) {
            ok = false;
          } else {
            ids.push_back(r);
          }
        }
        ok = ok && !ids.empty() && (def->kind == ValueKind::kIdList || ids.size() == 1);
        stored = JoinBlanks(ids);
        break;
      }
    }
    if (!ok) {
      out_ += "An error has occurred setting the element data.\r\n";
      out_ += kBadParameter;
      return 1;
    }
    e->Set(def->name, stored);
    changed_ = true;
    out_ += kOk;
    return 0;
  }

  int Delete(const std::vector<std::string>& args) {
    if (args.size() < 2 || !WellFormed(args[1])) {
      out_ += InvalidCommand("delete");
      return 1;
    }
    bool force = false;
    for (size_t i = 2; i < args.size(); ++i) {
      const std::string a = Lower(args[i]);
      if (a == "/f") {
        force = true;
      } else if (a != "/cleanup" && a != "/nocleanup") {
        out_ += InvalidCommand("delete");
        return 1;
      }
    }
    const std::string named = Lower(args[1]);
    const bool well_known = !IsGuidId(named);
    if (named == "{bootmgr}" || (well_known && !force)) {
      out_ += InvalidCommand("delete");
      return 1;
    }
    const std::string id = Resolve(named);
    if (id.empty() || !store_.Find(id)) return ReferenceError("delete");
    store_.entries.erase(std::remove_if(store_.entries.begin(), store_.entries.end(),
                                        [&](const Entry& e) { return e.id == id; }),
                         store_.entries.end());
    // Nothing may keep pointing at the removed object.
    for (auto& e : store_.entries) {
      for (size_t i = 0; i < e.elements.size();) {
        const ElementDef* def = FindElement(e.elements[i].first);
        if (def && (def->kind == ValueKind::kId || def->kind == ValueKind::kIdList)) {
          std::vector<std::string> ids = SplitBlanks(e.elements[i].second);
          ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
          if (ids.empty()) {
            e.elements.erase(e.elements.begin() + static_cast<long>(i));
            continue;
          }
          e.elements[i].second = JoinBlanks(ids);
        }
        ++i;
      }
    }
    if (store_.current == id) store_.current.clear();
    changed_ = true;
    out_ += kOk;
    return 0;
  }

  int Default(const std::vector<std::string>& args) {
    if (args.size() != 2 || !WellFormed(args[1])) {
      out_ += InvalidCommand("default");
      return 1;
    }
    const std::string id = Resolve(args[1]);
    const Entry* e = store_.Find(id);
    if (!e) return ReferenceError("reference");
    if (e->kind != "osloader") {
      out_ += InvalidCommand("default");
      return 1;
    }
    store_.BootManager().Set("default", id);
    changed_ = true;
    out_ += kOk;
    return 0;
  }

  int Timeout(const std::vector<std::string>& args) {
    if (args.size() != 2 || !IsDecimal(args[1])) {
      out_ += InvalidCommand("timeout");
      return 1;
    }
    store_.BootManager().Set("timeout", std::to_string(std::stoul(args[1])));
    changed_ = true;
    out_ += kOk;
    return 0;
  }

  int DisplayOrder(const std::vector<std::string>& args) {
    std::vector<std::string> ids;
    std::string mode;
    for (size_t i = 1; i < args.size(); ++i) {
      const std::string a = Lower(args[i]);
      if (a == "/addlast" || a == "/addfirst" || a == "/remove") {
        if (!mode.empty() || i + 1 != args.size()) {
          out_ += InvalidCommand("displayorder");
          return 1;
        }
        mode = a;
      } else if (WellFormed(a)) {
        const std::string id = Resolve(a);
        if (!store_.Find(id)) return ReferenceError("reference");
        ids.push_back(id);
      } else {
        out_ += InvalidCommand("displayorder");
        return 1;
      }
    }
    if (ids.empty()) {
      out_ += InvalidCommand("displayorder");
      return 1;
    }
    Entry& mgr = store_.BootManager();
    std::vector<std::string> order = SplitBlanks(mgr.Get("displayorder"));
    if (mode.empty()) {
      order = ids;
    } else {
      for (const auto& id : ids) order.erase(std::remove(order.begin(), order.end(), id), order.end());
      if (mode == "/addlast") order.insert(order.end(), ids.begin(), ids.end());
      if (mode == "/addfirst") order.insert(order.begin(), ids.begin(), ids.end());
    }
    if (order.empty())
      mgr.Remove("displayorder");
    else
      mgr.Set("displayorder", JoinBlanks(order));
    changed_ = true;
    out_ += kOk;
    return 0;
  }

  Store& store_;
  std::string& out_;
  bool& changed_;
  const IdMaker& make_id_;
  bool verbose_ = false;
};

}  // namespace

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

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') ++slashes, ++i;
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

int Execute(Store& store, const std::vector<std::string>& args, std::string& out, bool& changed,
            const IdMaker& make_id) {
  changed = false;
  Runner runner(store, out, changed, make_id);
  return runner.Run(args);
}

int RunWithStoreFile(const std::string& store_path, char system_drive, const std::vector<std::string>& args,
                     std::string& out) {
  Store store;
  bool seeded = false;
  if (!LoadStore(store_path, system_drive, store, seeded)) {
    out += "The boot configuration data store could not be opened.\r\n";
    out += "The store file is damaged.\r\n";
    return 1;
  }
  bool changed = false;
  std::string text;
  const int rc = Execute(store, args, text, changed);
  // A store seeded on first use is kept, so that later runs see the same ids.
  if ((changed || seeded) && !SaveStore(store_path, store)) {
    out += "The boot configuration data store could not be opened.\r\n";
    out += "Access is denied.\r\n";
    return 1;
  }
  out += text;
  return rc;
}

std::string StorePathBeside(const std::string& exe_path) {
  const size_t slash = exe_path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : exe_path.substr(0, slash + 1)) + "bcdstore.txt";
}

}  // namespace bcdstandin
