// Plain-function parts of the fake: calendar arithmetic and the locale
// picture patterns.
#include <cstdio>
#include <vector>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/names.h"

namespace mv {
namespace fake {

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
