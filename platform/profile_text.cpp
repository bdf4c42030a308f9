// Profile (INI) text: see profile_text.h.
#include "platform/profile_text.h"

#include <vector>

#include "platform/names.h"

namespace mv {
namespace {

// Position of a single-byte character, stepping over double-byte ones (whose
// second byte may equal "]" or "[").
size_t FindSingle(const std::string& t, char c) {
  for (size_t i = 0; i < t.size(); i += GbkCharLength(t, i)) {
    if (t[i] == c) return i;
  }
  return std::string::npos;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

struct IniLine {
  std::string raw;       // without the line end
  int kind = 0;          // 0 other, 1 section header, 2 key line
  std::string name;      // section or key name, trimmed
  std::string value;     // key value, trimmed
};

std::vector<IniLine> ParseIni(const std::string& content) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    std::string raw = content.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    pos = nl == std::string::npos ? content.size() : nl + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    IniLine line;
    line.raw = raw;
    std::string t = Trim(raw);
    if (!t.empty() && t[0] == '[') {
      size_t close = FindSingle(t, ']');
      line.kind = 1;
      line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else if (!t.empty() && t[0] != ';') {
      size_t eq = FindSingle(t, '=');
      if (eq != std::string::npos) {
        line.kind = 2;
        line.name = Trim(t.substr(0, eq));
        line.value = Trim(t.substr(eq + 1));
      }
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

bool ProfileLookup(const std::string& content, const std::string& section, const std::string& key,
               std::string& value) {
  std::vector<IniLine> lines = ParseIni(content);
  bool in_section = false, seen_section = false;
  for (const IniLine& line : lines) {
    if (line.kind == 1) {
      // Only the first section of that name counts.
      if (in_section) return false;
      in_section = !seen_section && SameNameNoCase(line.name, Trim(section));
      seen_section = seen_section || in_section;
    } else if (line.kind == 2 && in_section && SameNameNoCase(line.name, Trim(key))) {
      value = line.value;
      // A value in matching quotes loses them.
      if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
      }
      return true;
    }
  }
  return false;
}

std::string ProfileUpdate(const std::string& content, const std::string& section, const std::string& key,
                      const std::string& value) {
  std::vector<IniLine> lines = ParseIni(content);
  const std::string sec = Trim(section), k = Trim(key);
  const std::string key_line = k + "=" + value;
  int section_at = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == 1 && SameNameNoCase(lines[i].name, sec)) {
      section_at = static_cast<int>(i);
      break;
    }
  }
  if (section_at < 0) {
    std::string out = content;
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out += "[" + sec + "]\r\n" + key_line + "\r\n";
    return out;
  }
  size_t last_key = section_at;    // where a new key goes after
  for (size_t i = section_at + 1; i < lines.size(); ++i) {
    if (lines[i].kind == 1) break;
    if (lines[i].kind == 2 && SameNameNoCase(lines[i].name, k)) {
      lines[i].raw = lines[i].name + "=" + value;  // the key keeps its spelling
      last_key = std::string::npos;
      break;
    }
    if (!Trim(lines[i].raw).empty()) last_key = i;
  }
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i].raw + "\r\n";
    if (i == last_key) out += key_line + "\r\n";
  }
  return out;
}

}  // namespace mv
