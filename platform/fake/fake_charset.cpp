// Character-set conversions of the fake: iconv on the build host, the
// Windows calls with code page 936 in the Windows builds.
#include "platform/fake/fake_internal.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace mv {
namespace fake {

#if defined(_WIN32)

namespace {
std::u16string ToWide(UINT cp, const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(n, L'\0');
  ::MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return std::u16string(w.begin(), w.end());
}
}  // namespace

std::u16string GbkToUtf16(const std::string& gbk) { return ToWide(936, gbk); }
std::u16string Utf8ToUtf16(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }

std::string Utf16ToGbk(const std::u16string& wide) {
  if (wide.empty()) return {};
  std::wstring w(wide.begin(), wide.end());
  int n = ::WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string s(n, '\0');
  ::WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

#else

namespace {

// Converts with iconv; an input unit that cannot be converted is replaced
// by `replacement` (already in the target encoding) and skipped.
std::string Convert(const char* to, const char* from, const std::string& in, size_t unit,
                    const std::string& replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out;
  char buf[4096];
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, dst - buf);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated sequence at the end): replace one unit.
      out += replacement;
      size_t skip = unit < left ? unit : left;
      src += skip;
      left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::u16string FromBytes(const std::string& le) {
  std::u16string w;
  for (size_t i = 0; i + 1 < le.size(); i += 2) {
    w += static_cast<char16_t>(static_cast<unsigned char>(le[i]) | (static_cast<unsigned char>(le[i + 1]) << 8));
  }
  return w;
}

const std::string kReplacementLe("\xFD\xFF", 2);  // U+FFFD, little-endian

}  // namespace

std::u16string GbkToUtf16(const std::string& gbk) {
  return FromBytes(Convert("UTF-16LE", "CP936", gbk, 1, kReplacementLe));
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
  return FromBytes(Convert("UTF-16LE", "UTF-8", utf8, 1, kReplacementLe));
}

std::string Utf16ToGbk(const std::u16string& wide) {
  std::string le;
  le.reserve(wide.size() * 2);
  for (char16_t c : wide) {
    le += static_cast<char>(c & 0xFF);
    le += static_cast<char>(c >> 8);
  }
  return Convert("CP936", "UTF-16LE", le, 2, "?");
}

#endif

}  // namespace fake
}  // namespace mv
