// The registry access class: see registry.h.
#include "support/registry.h"

namespace mv {

namespace {

Bytes TextBytes(const Text& t) {
  Bytes b(t.begin(), t.end());
  b.push_back(0);
  return b;
}

Text UpToZero(const Bytes& b) {
  Text t;
  for (uint8_t c : b) {
    if (c == 0) break;
    t += static_cast<char>(c);
  }
  return t;
}

}  // namespace

bool SplitRegistryPath(const Text& path, RegRoot& root, Text& subkey) {
  size_t cut = path.find('\\');
  Text name = path.substr(0, cut);
  subkey = cut == Text::npos ? Text() : path.substr(cut + 1);
  if (name == "HKEY_CLASSES_ROOT") root = kHkeyClassesRoot;
  else if (name == "HKEY_CURRENT_USER") root = kHkeyCurrentUser;
  else if (name == "HKEY_LOCAL_MACHINE") root = kHkeyLocalMachine;
  else if (name == "HKEY_USERS") root = kHkeyUsers;
  else if (name == "HKEY_CURRENT_CONFIG") root = kHkeyCurrentConfig;
  else return false;
  return true;
}

uintptr_t Registry::OpenKey(const Text& path, bool create) {
  RegRoot root;
  Text sub;
  if (!SplitRegistryPath(path, root, sub)) return 0;
  return plat().RegKeyOpens(root, sub, create) ? 1 : 0;
}

int Registry::EnumSubKeys(const Text& path, std::vector<Text>& names) {
  names.clear();
  if (!OpenKey(path, false)) return -1;
  RegRoot root;
  Text sub;
  SplitRegistryPath(path, root, sub);
  for (const Text& n : plat().RegSubKeys(root, sub)) {
    names.push_back(n);
    if (plat().OnWindowThread()) plat().ProcessPendingEvents();
  }
  return static_cast<int>(names.size());
}

bool Registry::EnumValues(const Text& path, std::vector<Text>& names, std::vector<uint32_t>& types) {
  names.clear();
  types.clear();
  RegRoot root;
  Text sub;
  std::vector<std::pair<Text, uint32_t>> values;
  if (!SplitRegistryPath(path, root, sub) || !plat().RegListValues(root, sub, values)) return false;
  for (const auto& v : values) {
    names.push_back(v.first);
    types.push_back(v.second);
  }
  return true;
}

Text Registry::DescribeValueType(const Text& path, const Text& name) {
  std::vector<Text> names;
  std::vector<uint32_t> types;
  if (!EnumValues(path, names, types)) return {};
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].size() > 256) continue;
    // Value names are compared without ASCII case, as the registry does.
    if (names[i].size() != name.size()) continue;
    bool same = true;
    for (size_t j = 0; j < name.size() && same; ++j) {
      char a = names[i][j], b = name[j];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      same = a == b;
    }
    if (!same) continue;
    switch (types[i]) {
      case kRegNone: return "REG_NONE - 字节集，值为：";
      case kRegSz: return "REG_SZ - 字符串值，值为：";
      case kRegExpandSz: return "REG_REG_EXPAND_SZ - 可扩充字符串值，值为：";
      case kRegBinary: return "REG_BINARY - 二进制，值为：";
      case kRegDword: return "REG_DWORD - DWORD，值为：";
      case kRegMultiSz: return "REG_MULTI_SZ - 多字符串值，值为：";
      default: return {};
    }
  }
  return {};
}

bool Registry::Exists(const Text& path, const Text& name, bool check_value) {
  if (!check_value) return OpenKey(path, false) != 0;
  // Any value that is there counts, whatever its size.
  RegRoot root;
  Text sub;
  uint32_t type = 0;
  Bytes data;
  return SplitRegistryPath(path, root, sub) && plat().RegReadRaw(root, sub, name, type, data);
}

bool Registry::FlushKey(const Text& path) {
  RegRoot root;
  Text sub;
  return SplitRegistryPath(path, root, sub) && plat().RegFlush(root, sub);
}

bool Registry::WriteValue(const Text& path, const Text& name, const Bytes& data, uint32_t type) {
  RegRoot root;
  Text sub;
  return SplitRegistryPath(path, root, sub) && plat().RegWriteRaw(root, sub, name, type, data);
}

Bytes Registry::ReadValue(const Text& path, const Text& name, uint32_t type) {
  RegRoot root;
  Text sub;
  Bytes data;
  if (!SplitRegistryPath(path, root, sub) || !plat().RegReadRaw(root, sub, name, type, data)) return {};
  return data;
}

bool Registry::WriteValueByRoot(int root_number, const Text& subkey, const Text& name, const Bytes& data,
                                uint32_t type, bool type_given) {
  static const RegRoot kRoots[5] = {kHkeyClassesRoot, kHkeyCurrentConfig, kHkeyCurrentUser, kHkeyLocalMachine,
                                    kHkeyUsers};
  if (root_number < 1 || root_number > 5) return false;
  return plat().RegWriteRaw(kRoots[root_number - 1], subkey, name, type_given ? type : kRegSz, data);
}

bool Registry::WriteNumber(const Text& path, const Text& name, uint32_t value) {
  Bytes b = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
             static_cast<uint8_t>(value >> 24)};
  return WriteValue(path, name, b, kRegDword);
}

uint32_t Registry::ReadNumber(const Text& path, const Text& name) {
  Bytes b = ReadValue(path, name, kRegDword);
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && i < b.size(); ++i) v |= static_cast<uint32_t>(b[i]) << (8 * i);
  return v;
}

bool Registry::WriteBinary(const Text& path, const Text& name, const Bytes& value) {
  return WriteValue(path, name, value, kRegBinary);
}

Bytes Registry::ReadBinary(const Text& path, const Text& name) { return ReadValue(path, name, kRegBinary); }

bool Registry::WriteText(const Text& path, const Text& name, const Text& value) {
  return WriteValue(path, name, TextBytes(value), kRegSz);
}

Text Registry::ReadText(const Text& path, const Text& name) { return UpToZero(ReadValue(path, name, kRegSz)); }

bool Registry::WriteMultiText(const Text& path, const Text& name, const std::vector<Text>& values) {
  Bytes b;
  for (const Text& v : values) {
    b.insert(b.end(), v.begin(), v.end());
    b.push_back(0);
  }
  b.push_back(0);
  return WriteValue(path, name, b, kRegMultiSz);
}

std::vector<Text> Registry::ReadMultiText(const Text& path, const Text& name) {
  std::vector<Text> out;
  Bytes b = ReadValue(path, name, kRegMultiSz);
  Text cur;
  for (uint8_t c : b) {
    if (c != 0) {
      cur += static_cast<char>(c);
      continue;
    }
    if (cur.empty()) break;  // the empty string ends the list
    out.push_back(cur);
    cur.clear();
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

bool Registry::WriteExpandText(const Text& path, const Text& name, const Text& value) {
  return WriteValue(path, name, TextBytes(value), kRegExpandSz);
}

Text Registry::ReadExpandText(const Text& path, const Text& name) {
  return UpToZero(ReadValue(path, name, kRegExpandSz));
}

bool Registry::DeleteKey(const Text& path) {
  if (!OpenKey(path, false)) return false;
  std::vector<Text> subs;
  EnumSubKeys(path, subs);
  Text base = path;
  if (!base.empty() && base.back() != '\\') base += '\\';
  for (const Text& s : subs) DeleteKey(base + s);
  RegRoot root;
  Text sub;
  SplitRegistryPath(path, root, sub);
  return plat().RegRemoveKey(root, sub);
}

bool Registry::DeleteValue(const Text& path, const Text& name) {
  RegRoot root;
  Text sub;
  return SplitRegistryPath(path, root, sub) && plat().RegRemoveValue(root, sub, name);
}

}  // namespace mv
