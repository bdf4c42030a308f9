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

int Execute(Store& store, const std::vector<std::string>& args, std::string& out, bool& changed,
            const IdMaker& make_id) {
  changed = false;
  Runner runner(store, out, changed, make_id);
  return runner.Run(args);
}

}  // namespace bcdstandin
