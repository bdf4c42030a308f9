// Pieces of the fake platform that are plain functions: calendar arithmetic
// and the character-set conversions.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace mv {
namespace fake {

// Calendar arithmetic on local times (no time zone involved).
LocalTime AddMilliseconds(const LocalTime& t, int64_t ms);
int WeekdayOf(int year, int month, int day);

// Conversions with code page 936 for "ANSI"; invalid input is replaced
// (U+FFFD when decoding, '?' when encoding) as the Windows calls do.
std::u16string GbkToUtf16(const std::string& gbk);
std::string Utf16ToGbk(const std::u16string& wide);
std::u16string Utf8ToUtf16(const std::string& utf8);

}  // namespace fake
}  // namespace mv
