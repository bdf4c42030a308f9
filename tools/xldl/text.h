// UTF-8 <-> UTF-16 conversions of the engine (paths and URLs are UTF-8 inside
// the engine, UTF-16 in the records and the Windows APIs).
#pragma once

#include <string>

namespace xldl {

std::u16string Utf8ToUtf16(const std::string& s);
std::string Utf16ToUtf8(const std::u16string& s);

#if defined(_WIN32)
inline std::wstring Utf8ToWide(const std::string& s) {
  std::u16string u = Utf8ToUtf16(s);
  return std::wstring(u.begin(), u.end());
}
inline std::string WideToUtf8(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }
#endif

}  // namespace xldl
