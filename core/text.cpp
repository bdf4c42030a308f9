#include "core/text.h"

#include "core/md5.h"

namespace mv {
namespace {

inline unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// True when the byte starts a GBK double-byte character.
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length of the character that starts at index i.
inline size_t CharLength(const Text& t, size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < t.size()) ? 2 : 1;
}

bool MatchesAt(const Text& text, size_t at, const Text& needle, bool ignore_case) {
  if (needle.size() > text.size() - at) return false;
  bool trail = false;  // the text byte at at + k is the second byte of a character
  for (size_t k = 0; k < needle.size(); ++k) {
    unsigned char a = static_cast<unsigned char>(text[at + k]);
    unsigned char b = static_cast<unsigned char>(needle[k]);
    // Only single ASCII characters fold; a trail byte never does.
    bool same = a == b || (ignore_case && !trail && a < 0x80 && b < 0x80 && FoldAscii(a) == FoldAscii(b));
    if (!same) return false;
    trail = !trail && IsLeadByte(a);
  }
  return true;
}

Text ReplaceQuoteToken(Text s) {
  static const Text kToken = "#引号";
  size_t at = 0;
  while ((at = s.find(kToken, at)) != Text::npos) {
    s.replace(at, kToken.size(), "\"");
    at += 1;
  }
  return s;
}

int HexDigit(char c) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 16; ++i)
    if (kDigits[i] == c) return i;
  return -1;
}

}  // namespace

int TextFind(const Text& text, const Text& needle, int start, bool ignore_case) {
  if (start < 1) start = 1;
  const size_t from = static_cast<size_t>(start) - 1;
  if (from > text.size()) return -1;
  // Walk character by character from the start of the text so that a match
  // never begins inside a double-byte character.
  size_t i = 0;
  while (i < from) i += CharLength(text, i);
  for (;;) {
    if (MatchesAt(text, i, needle, ignore_case)) return static_cast<int>(i) + 1;
    if (i >= text.size()) return -1;
    i += CharLength(text, i);
  }
}

Text TextBetween(const Text& text, const Text& left, const Text& right, int start, bool ignore_case) {
  const Text l = ReplaceQuoteToken(left);
  const Text r = ReplaceQuoteToken(right);
  int at = TextFind(text, l, start, ignore_case);
  if (at < 0) return Text();
  int s = at + static_cast<int>(l.size());
  int end = TextFind(text, r, s, ignore_case);
  if (end < 0) return Text();
  return text.substr(static_cast<size_t>(s) - 1, static_cast<size_t>(end - s));
}

Text UrlDecode(const Text& text, bool utf8) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      // Two digits must follow; at the end of the text or before anything
      // but upper-case hexadecimal digits the "%" is an ordinary character.
      int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
      int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return utf8 ? Utf8ToAnsi(out) : out;
}

Text Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return Text();
  return plat().Utf8ToAnsi(utf8);
}

std::vector<Text> SplitText(const Text& text, const Text& separator) {
  std::vector<Text> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  size_t from = 0;
  for (;;) {
    size_t at = text.find(separator, from);
    if (at == Text::npos) {
      pieces.push_back(text.substr(from));
      return pieces;
    }
    pieces.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
}

Text TrimText(const Text& text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

Text UpperAscii(const Text& text) {
  Text out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(c) && i + 1 < out.size()) {
      ++i;  // keep the trail byte of a double-byte character
      continue;
    }
    out[i] = static_cast<char>(FoldAscii(c));
  }
  return out;
}

bool EndsWith(const Text& text, const Text& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

Text SystemDrive() { return plat().SystemDirectory().substr(0, 3); }

Text WindowsDrive() { return SpecialFolder(9).substr(0, 3); }

Text SpecialFolder(int kind) {
  if (kind == 0) kind = 3;
  Text path;
  switch (kind) {
    case 1: path = plat().ShellFolder(5); break;
    case 2: path = plat().ShellFolder(6); break;
    case 3: path = plat().ShellFolder(16); break;
    case 4: path = plat().ShellFolder(20); break;
    case 5: path = plat().ShellFolder(11); break;
    case 6: path = plat().ShellFolder(2); break;
    case 7: path = plat().ShellFolder(7); break;
    case 8: path = plat().ShellFolder(26); break;
    case 9: path = plat().WindowsDirectory(); break;
    case 10: path = plat().SystemDirectory(); break;
    case 11: path = plat().TempDirectory(); break;
    case 12: path = plat().ShellFolder(32); break;
    default: return Text();
  }
  // The folders are read into 260-byte buffers: a longer path is a failure.
  if (path.empty() || path.size() >= 260) return Text();
  if (path.back() != '\\') path.push_back('\\');
  return path;
}

Text TextDigest(const Text& text) { return Md5Hex(text.data(), text.size(), false); }

Bytes TextToBytes(const Text& text) { return Bytes(text.begin(), text.end()); }

Text BytesToText(const Bytes& bytes) {
  size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return Text(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace mv
