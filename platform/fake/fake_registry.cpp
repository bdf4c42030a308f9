// The fake platform: registry, profile files and version resources.
#include "platform/fake/fake_impl.h"

#include "platform/profile_text.h"

namespace mv {

// ---- Registry ------------------------------------------------------------------

bool FakePlatform::RegReadString(RegRoot root, const Text& key, const Text& name, Text& value) {
  LockGuard g(impl_->mu);
  RegValue* v = impl_->FindValue(root, key, name);
  if (!v || (v->type != kRegSz && v->type != kRegExpandSz)) return false;
  value.assign(v->data.begin(), v->data.end());
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return true;
}

bool FakePlatform::RegReadDword(RegRoot root, const Text& key, const Text& name, uint32_t& value) {
  LockGuard g(impl_->mu);
  RegValue* v = impl_->FindValue(root, key, name);
  if (!v || v->type != kRegDword || v->data.size() < 4) return false;
  value = static_cast<uint32_t>(v->data[0]) | (static_cast<uint32_t>(v->data[1]) << 8) |
          (static_cast<uint32_t>(v->data[2]) << 16) | (static_cast<uint32_t>(v->data[3]) << 24);
  return true;
}

bool FakePlatform::RegWriteString(RegRoot root, const Text& key, const Text& name, const Text& value) {
  return RegWriteRaw(root, key, name, kRegSz, TextBytes(value));
}

bool FakePlatform::RegWriteDword(RegRoot root, const Text& key, const Text& name, uint32_t value) {
  Bytes b = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
             static_cast<uint8_t>(value >> 24)};
  return RegWriteRaw(root, key, name, kRegDword, b);
}

bool FakePlatform::RegRemoveValue(RegRoot root, const Text& key, const Text& name) {
  LockGuard g(impl_->mu);
  auto k = impl_->registry.find(Impl::RegPath(root, key));
  return k != impl_->registry.end() && k->second.values.erase(FoldCase(name)) > 0;
}

bool FakePlatform::RegKeyOpens(RegRoot root, const Text& key, bool create) {
  if (root < kHkeyClassesRoot || root > kHkeyCurrentConfig) return false;
  LockGuard g(impl_->mu);
  if (create) {
    impl_->CreateKey(root, key);
    return true;
  }
  std::string path = Impl::RegPath(root, key);
  return path.find('\\') == std::string::npos || impl_->registry.count(path) > 0;
}

bool FakePlatform::RegReadRaw(RegRoot root, const Text& key, const Text& name, uint32_t& type, Bytes& data) {
  LockGuard g(impl_->mu);
  RegValue* v = impl_->FindValue(root, key, name);
  if (!v) return false;
  type = v->type;
  data = v->data;
  return true;
}

bool FakePlatform::RegWriteRaw(RegRoot root, const Text& key, const Text& name, uint32_t type, const Bytes& data) {
  if (root < kHkeyClassesRoot || root > kHkeyCurrentConfig) return false;
  LockGuard g(impl_->mu);
  RegValue& v = impl_->CreateKey(root, key)->values[FoldCase(name)];
  if (v.name.empty()) v.name = name;
  v.type = type;
  v.data = data;
  return true;
}

bool FakePlatform::RegListValues(RegRoot root, const Text& key, std::vector<std::pair<Text, uint32_t>>& values) {
  values.clear();
  if (!RegKeyOpens(root, key, false)) return false;
  LockGuard g(impl_->mu);
  auto k = impl_->registry.find(Impl::RegPath(root, key));
  if (k == impl_->registry.end()) return true;
  for (const auto& v : k->second.values) values.emplace_back(v.second.name, v.second.type);
  return true;
}

bool FakePlatform::RegRemoveKey(RegRoot root, const Text& key) {
  LockGuard g(impl_->mu);
  std::string path = Impl::RegPath(root, key);
  if (path.find('\\') == std::string::npos) return false;  // a root stays
  auto k = impl_->registry.find(path);
  if (k == impl_->registry.end()) return false;
  auto child = impl_->registry.lower_bound(path + "\\");
  if (child != impl_->registry.end() && child->first.compare(0, path.size() + 1, path + "\\") == 0) return false;
  impl_->registry.erase(k);
  return true;
}

bool FakePlatform::RegFlush(RegRoot root, const Text& key) { return RegKeyOpens(root, key, false); }

std::vector<Text> FakePlatform::RegSubKeys(RegRoot root, const Text& key) {
  LockGuard g(impl_->mu);
  std::vector<Text> out;
  std::string prefix = Impl::RegPath(root, key) + "\\";
  for (auto it = impl_->registry.lower_bound(prefix); it != impl_->registry.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(it->second.name);
  }
  return out;
}

// ---- INI files -----------------------------------------------------------------

Text FakePlatform::IniRead(const Text& file, const Text& section, const Text& key, const Text& def) {
  Bytes b;
  Text value;
  if (ReadWholeFile(file, b) &&
      ProfileLookup(std::string(b.begin(), b.end()), section, key, value)) {
    return value;
  }
  // The profile call trims trailing blanks of the default.
  Text d = def;
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return d;
}

bool FakePlatform::IniWrite(const Text& file, const Text& section, const Text& key, const Text& value) {
  fs::path p;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(file, p) || !fs::is_directory(p.parent_path(), ec)) return false;
  }
  Bytes b;
  std::string content;
  if (ReadWholeFile(file, b)) content.assign(b.begin(), b.end());
  std::string updated = ProfileUpdate(content, section, key, value);
  return WriteWholeFile(file, {Bytes(updated.begin(), updated.end())});
}

// ---- Version resources -----------------------------------------------------------

Text FakePlatform::FileVersionText(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return {};
  auto v = impl_->versions.find(FoldCase(GbkName(p)));
  return v == impl_->versions.end() ? Text() : v->second;
}

}  // namespace mv
