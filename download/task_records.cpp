#include "download/task_records.h"

#include <cstring>

#include "platform/platform.h"

namespace mv::dl {
namespace {

// Little-endian bytes whatever the host's order.
template <typename T>
T LoadLe(const std::vector<uint8_t>& b) {
  uint64_t v = 0;
  for (size_t i = 0; i < sizeof(T) && i < b.size(); ++i) v |= static_cast<uint64_t>(b[i]) << (8 * i);
  if constexpr (sizeof(T) == 4) {
    uint32_t u = static_cast<uint32_t>(v);
    T out;
    std::memcpy(&out, &u, 4);
    return out;
  } else {
    T out;
    std::memcpy(&out, &v, 8);
    return out;
  }
}

template <typename T>
void StoreLe(T value, uint8_t* out) {
  uint64_t v = 0;
  if constexpr (sizeof(T) == 4) {
    uint32_t u;
    std::memcpy(&u, &value, 4);
    v = u;
  } else {
    std::memcpy(&v, &value, 8);
  }
  for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

// UTF-16LE bytes of a GBK text, at most max_units units (a surrogate pair is
// never split).
std::vector<uint8_t> WideBytes(const std::string& text, size_t max_units) {
  std::u16string w = plat().AnsiToWide(text);
  if (w.size() > max_units) {
    w.resize(max_units);
    if (!w.empty() && w.back() >= 0xD800 && w.back() <= 0xDBFF) w.pop_back();
  }
  std::vector<uint8_t> out(w.size() * 2);
  for (size_t i = 0; i < w.size(); ++i) {
    out[2 * i] = static_cast<uint8_t>(w[i] & 0xFF);
    out[2 * i + 1] = static_cast<uint8_t>(w[i] >> 8);
  }
  return out;
}

}  // namespace

std::string TaskRecord::GetText(const char* name) const {
  const std::vector<uint8_t> b = GetField(name);
  std::u16string w;
  for (size_t i = 0; i + 1 < b.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(b[i] | (b[i + 1] << 8));
    if (c == 0) break;
    w.push_back(c);
  }
  return w.empty() ? std::string() : plat().WideToAnsi(w);
}

bool TaskRecord::SetText(const char* name, const std::string& text) {
  const Field* f = FindField(name);
  if (!f || f->width < 2) return false;
  const std::vector<uint8_t> b = WideBytes(text, f->width / 2 - 1);
  return SetField(name, b.data(), b.size());
}

int32_t TaskRecord::GetInt(const char* name) const { return LoadLe<int32_t>(GetField(name)); }
int64_t TaskRecord::GetInt64(const char* name) const { return LoadLe<int64_t>(GetField(name)); }
float TaskRecord::GetFloat(const char* name) const { return LoadLe<float>(GetField(name)); }
uint8_t TaskRecord::GetByte(const char* name) const {
  const std::vector<uint8_t> b = GetField(name);
  return b.empty() ? 0 : b[0];
}

bool TaskRecord::SetInt(const char* name, int32_t v) {
  uint8_t b[4];
  StoreLe(v, b);
  return SetField(name, b, 4);
}
bool TaskRecord::SetInt64(const char* name, int64_t v) {
  uint8_t b[8];
  StoreLe(v, b);
  return SetField(name, b, 8);
}
bool TaskRecord::SetFloat(const char* name, float v) {
  uint8_t b[4];
  StoreLe(v, b);
  return SetField(name, b, 4);
}
bool TaskRecord::SetByte(const char* name, uint8_t v) { return SetField(name, &v, 1); }

bool TaskRecord::AddText(const char* name, size_t units, const std::string& text) {
  const std::vector<uint8_t> b = text.empty() ? std::vector<uint8_t>() : WideBytes(text, units - 1);
  return AddField(name, units * 2, b.data(), b.size());
}

bool TaskRecord::AddInt(const char* name, int32_t v) {
  uint8_t b[4];
  StoreLe(v, b);
  return AddField(name, 4, b, 4);
}

bool DownTaskSetup::Build(const std::string& url, const std::string& ref_url, const std::string& cookies,
                          const std::string& file_name, const std::string& save_path, bool is_only_original,
                          bool disable_auto_rename, bool is_resume) {
  if (!Initialise(kSize)) return false;
  bool ok = AddInt("nReserved", 0);
  ok = ok && AddText("szTaskUrl", 2084, url);
  ok = ok && AddText("szRefUrl", 2084, ref_url);
  ok = ok && AddText("szCookies", 4096, cookies);
  ok = ok && AddText("szFilename", 260, file_name);
  ok = ok && AddText("szReserved0", 260, "");
  ok = ok && AddText("szSavePath", 260, save_path);
  ok = ok && AddInt("hReserved", 0);
  ok = ok && AddInt("bReserved", 0);
  ok = ok && AddText("szReserved1", 64, "");
  ok = ok && AddText("szReserved2", 64, "");
  ok = ok && AddInt("IsOnlyOriginal", is_only_original ? 1 : 0);
  ok = ok && AddInt("nReserved1", 5);
  ok = ok && AddInt("DisableAutoRename", disable_auto_rename ? 1 : 0);
  ok = ok && AddInt("IsResume", is_resume ? 1 : 0);
  ok = ok && AddZero("reserved", 8192);
  return ok && UsedLength() == kSize;
}

uintptr_t DownTaskInfo::Build() {
  if (!Initialise(kSize)) return 0;
  struct Def {
    const char* name;
    size_t width;
  };
  static const Def kFields[] = {
      {"stat", 4},          {"fail_code", 4},     {"szFilename", 520},   {"szReserved0", 520},
      {"nTotalSize", 8},    {"nTotalDownload", 8}, {"fPercent", 4},      {"nReserved0", 4},
      {"nSrcTotal", 4},     {"nSrcUsing", 4},     {"nReserved1", 4},     {"nReserved2", 4},
      {"nReserved3", 4},    {"nReserved4", 4},    {"nReserved5", 8},     {"nDonationP2P", 8},
      {"nReserved6", 8},    {"nDonationOrgin", 8}, {"nDonationP2S", 8},  {"nReserved7", 8},
      {"nReserved8", 8},    {"nSpeed", 4},        {"nSpeedP2S", 4},      {"nSpeedP2P", 4},
      {"bIsOriginUsable", 1}, {"fHashPercent", 4}, {"IsCreatingFile", 4}, {"reserved", 256},
  };
  for (const Def& d : kFields)
    if (!AddField(d.name, d.width)) return 0;
  if (UsedLength() != kSize || !stat(2)) return 0;
  return reinterpret_cast<uintptr_t>(Data());
}

}  // namespace mv::dl
