// Plain-function parts of the fake: case folding, wildcards, profile-file
// editing, calendar arithmetic and the locale picture patterns.
#include <cstdio>
#include <vector>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/names.h"

namespace mv {
namespace fake {
namespace {

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
      size_t close = t.find(']');
      line.kind = 1;
      line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else if (!t.empty() && t[0] != ';') {
      size_t eq = t.find('=');
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

bool IniLookup(const std::string& content, const std::string& section, const std::string& key,
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

std::string IniUpdate(const std::string& content, const std::string& section, const std::string& key,
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

namespace {
// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}
}  // namespace

int WeekdayOf(int year, int month, int day) {
  int64_t days = DaysFromCivil(year, month, day);
  return static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

LocalTime AddMilliseconds(const LocalTime& t, int64_t ms) {
  int64_t days = DaysFromCivil(t.year, t.month, t.day);
  int64_t total = ((days * 24 + t.hour) * 60 + t.minute) * 60000LL + t.second * 1000LL + t.milliseconds + ms;
  int64_t day_ms = 86400000LL;
  int64_t d = total >= 0 ? total / day_ms : (total - day_ms + 1) / day_ms;
  int64_t rest = total - d * day_ms;
  LocalTime r;
  CivilFromDays(d, r.year, r.month, r.day);
  r.hour = static_cast<int>(rest / 3600000);
  r.minute = static_cast<int>(rest / 60000 % 60);
  r.second = static_cast<int>(rest / 1000 % 60);
  r.milliseconds = static_cast<int>(rest % 1000);
  r.weekday = WeekdayOf(r.year, r.month, r.day);
  return r;
}

}  // namespace fake

namespace {

std::string Num(int v, bool two) {
  char buf[16];
  std::snprintf(buf, sizeof buf, two ? "%02d" : "%d", v);
  return buf;
}

// Names of the Chinese (PRC) locale, the one the program runs under.
const char* const kMonthFull[] = {"一月", "二月", "三月", "四月", "五月", "六月",
                                  "七月", "八月", "九月", "十月", "十一月", "十二月"};
const char* const kDayFull[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
const char* const kDayShort[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};

// Walks a picture pattern: quoted text is copied (two quotes give one), runs
// of a letter go to `field`, everything else is copied.
template <typename Field>
Text Picture(const Text& pattern, Field field) {
  Text out;
  for (size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    if (c == '\'') {
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += pattern[i++];
      }
      continue;
    }
    size_t n = 1;
    while (i + n < pattern.size() && pattern[i + n] == c) ++n;
    if (!field(c, n, out)) out.append(pattern, i, n);
    i += n;
  }
  return out;
}

}  // namespace

Text FormatDatePicture(const LocalTime& t, const Text& pattern) {
  return Picture(pattern, [&](char c, size_t n, Text& out) {
    int wd = fake::WeekdayOf(t.year, t.month, t.day);
    switch (c) {
      case 'd':
        if (n <= 2) out += Num(t.day, n == 2);
        else out += (n == 3 ? kDayShort : kDayFull)[wd];
        return true;
      case 'M':
        if (n <= 2) out += Num(t.month, n == 2);
        else if (n == 3) out += Num(t.month, false) + "月";
        else out += kMonthFull[(t.month + 11) % 12];
        return true;
      case 'y':
        if (n <= 2) out += Num(t.year % 100, n == 2);
        else out += Num(t.year, false);
        return true;
      case 'g':
        out += "公元";
        return true;
      default:
        return false;
    }
  });
}

Text FormatTimePicture(const LocalTime& t, const Text& pattern, const Text& am, const Text& pm) {
  return Picture(pattern, [&](char c, size_t n, Text& out) {
    bool two = n >= 2;
    switch (c) {
      case 'H':
        out += Num(t.hour, two);
        return true;
      case 'h': {
        int h = t.hour % 12;
        out += Num(h == 0 ? 12 : h, two);
        return true;
      }
      case 'm':
        out += Num(t.minute, two);
        return true;
      case 's':
        out += Num(t.second, two);
        return true;
      case 't': {
        const Text& mark = t.hour < 12 ? am : pm;
        if (two) out += mark;
        else if (!mark.empty()) out += mark.substr(0, static_cast<unsigned char>(mark[0]) >= 0x81 ? 2 : 1);
        return true;
      }
      default:
        return false;
    }
  });
}

}  // namespace mv
