// The XML reader of the image information: pure text work, no machine
// access (the fuzzer links this file alone).
#include <cstdint>
#include <string>
#include <utility>

#include "backup/wim_info.h"

namespace mv {
namespace {


// Length of the character at i: two bytes for a GBK lead byte followed by
// another byte, else one.
size_t CharLen(const Text& t, size_t i) {
  const auto c = static_cast<unsigned char>(t[i]);
  return (c >= 0x81 && c <= 0xFE && i + 1 < t.size()) ? 2 : 1;
}

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchAt(const Text& t, size_t i, const Text& needle, bool case_sensitive) {
  if (t.size() - i < needle.size()) return false;
  for (size_t k = 0; k < needle.size(); ++k) {
    const char a = t[i + k], b = needle[k];
    if (case_sensitive ? a != b : Fold(a) != Fold(b)) return false;
  }
  return true;
}

// First match of needle at or after the character boundary `from`, walking
// whole characters so that a match never starts inside a double-byte one.
// Text::npos when there is none.
size_t FindFrom(const Text& t, const Text& needle, size_t from, bool case_sensitive) {
  if (needle.empty()) return from <= t.size() ? from : Text::npos;
  for (size_t i = from; i < t.size(); i += CharLen(t, i)) {
    if (MatchAt(t, i, needle, case_sensitive)) return i;
  }
  return Text::npos;
}

Text TrimSpaces(const Text& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

const char kUnknown[] = "Unknown";

Text FirstOr(const std::vector<Text>& values, const Text& fallback) {
  return values.empty() ? fallback : values.front();
}

// The <IMAGE ...> ... </IMAGE> elements of the XML, in order.
std::vector<Text> ImageElements(const Text& xml, const std::function<void()>& each_pass) {
  std::vector<Text> out;
  size_t pos = 0;
  for (;;) {
    if (each_pass) each_pass();
    size_t at = FindFrom(xml, "<IMAGE", pos, true);
    if (at == Text::npos) break;
    const size_t after = at + 6;
    if (after < xml.size() && xml[after] != ' ' && xml[after] != '>' && xml[after] != '\t' &&
        xml[after] != '\r' && xml[after] != '\n') {
      pos = after;  // another tag that merely starts with "IMAGE"
      continue;
    }
    size_t end = FindFrom(xml, "</IMAGE>", after, true);
    if (end == Text::npos) end = xml.size();  // cut short: take what is there
    out.push_back(xml.substr(after, end - after));
    if (end >= xml.size()) break;
    pos = end + 8;
  }
  return out;
}

}  // namespace

int ExtractBetween(const Text& text, const Text& start_tag, const Text& end_tag, std::vector<Text>& out,
                   bool case_sensitive, const std::function<void()>& each_pass) {
  out.clear();
  if (start_tag.empty() || end_tag.empty()) return 0;
  size_t pos = 0;
  for (;;) {
    if (each_pass) each_pass();
    const size_t s = FindFrom(text, start_tag, pos, case_sensitive);
    if (s == Text::npos) break;
    const size_t vs = s + start_tag.size();
    const size_t e = FindFrom(text, end_tag, vs, case_sensitive);
    if (e == Text::npos) break;
    Text value = TrimSpaces(text.substr(vs, e - vs));
    if (!value.empty()) out.push_back(std::move(value));
    pos = e;  // the next search starts at the end tag (always past s)
  }
  return static_cast<int>(out.size());
}

Text GibibyteText(const Text& total_bytes) {
  const Text t = TrimSpaces(total_bytes);
  uint64_t v = 0;
  bool number = !t.empty();
  for (char c : t) {
    if (c < '0' || c > '9') {
      number = false;
      break;
    }
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) {
      v = UINT64_MAX;  // more than any file: keep the largest value
      break;
    }
    v = v * 10 + digit;
  }
  if (!number) v = 0;
  // Hundredths of a GiB, rounded half up, without floating point.
  const uint64_t gib = uint64_t(1) << 30;
  const uint64_t whole = v / gib, rest = v % gib;
  const uint64_t hundredths = whole * 100 + (rest * 100 + gib / 2) / gib;
  const uint64_t units = hundredths / 100, cents = hundredths % 100;
  Text out = std::to_string(units) + ".";
  if (cents < 10) out += "0";
  out += std::to_string(cents) + " GB";
  return out;
}

bool ReadWimImages(const Text& xml, std::vector<WimImageRow>& rows, const std::function<void()>& each_pass) {
  rows.clear();
  std::vector<Text> any;
  if (ExtractBetween(xml, "<TOTALBYTES>", "</TOTALBYTES>", any, true, each_pass) == 0) return false;

  struct Values {
    std::vector<Text> name, description, display_name, display_description, total_bytes;
  };
  std::vector<Values> images;
  for (const Text& element : ImageElements(xml, each_pass)) {
    Values v;
    ExtractBetween(element, "<NAME>", "</NAME>", v.name, true, each_pass);
    ExtractBetween(element, "<DESCRIPTION>", "</DESCRIPTION>", v.description, true, each_pass);
    ExtractBetween(element, "<DISPLAYNAME>", "</DISPLAYNAME>", v.display_name, true, each_pass);
    ExtractBetween(element, "<DISPLAYDESCRIPTION>", "</DISPLAYDESCRIPTION>", v.display_description, true,
                   each_pass);
    ExtractBetween(element, "<TOTALBYTES>", "</TOTALBYTES>", v.total_bytes, true, each_pass);
    images.push_back(std::move(v));
  }
  // The display descriptions are shown only when every image has a name, a
  // display name and a display description.
  bool complete = true;
  for (const Values& v : images) {
    if (v.name.empty() || v.display_name.empty() || v.display_description.empty()) complete = false;
  }
  for (const Values& v : images) {
    WimImageRow row;
    row.name = FirstOr(v.name, kUnknown);
    row.description = complete ? v.display_description.front() : FirstOr(v.description, kUnknown);
    row.size = GibibyteText(FirstOr(v.total_bytes, "0"));
    rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace mv
