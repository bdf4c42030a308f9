// Text routines, digests and the log timestamp: the pieces every module
// parses command output, links and logs with.
#include <gtest/gtest.h>

#include <string>

#include "core/crc32.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/text.h"

namespace mv {
namespace {

TEST(TextBetween, FindsValueBetweenMarkers) {
  EXPECT_EQ(TextBetween("a=1&b=22&c=3", "b=", "&", 1, false), "22");
  // Start position is 1-based and honoured.
  EXPECT_EQ(TextBetween("x[1] x[2]", "[", "]", 3, false), "2");
  EXPECT_EQ(TextBetween("x[1] x[2]", "[", "]", 2, false), "1");
  // Empty value between adjacent markers.
  EXPECT_EQ(TextBetween("k=&", "k=", "&", 1, false), "");
}

TEST(TextBetween, QuoteTokenStandsForDoubleQuote) {
  const Text out = "identifier              {current}\r\ndevice                  partition=C:\r\n"
                   "description             \"Windows 7\"\r\n";
  EXPECT_EQ(TextBetween(out, "description             #引号", "#引号", 1, false), "Windows 7");
  // The token works inside a longer marker and in the right marker alone.
  EXPECT_EQ(TextBetween("name=\"abc\" x", "name=", "#引号 ", 1, false), "\"abc");
}

TEST(TextBetween, MissingMarkersGiveEmpty) {
  // The right marker occurs only before the left one.
  EXPECT_EQ(TextBetween("]abc[def", "[", "]", 1, false), "");
  EXPECT_EQ(TextBetween("abc", "[", "]", 1, false), "");
  EXPECT_EQ(TextBetween("", "[", "]", 1, false), "");
  // Start beyond the only left marker.
  EXPECT_EQ(TextBetween("[a]", "[", "]", 2, false), "");
  EXPECT_EQ(TextBetween("[a]", "[", "]", 99, false), "");
}

TEST(TextBetween, IgnoreCaseFoldsAsciiOnly) {
  EXPECT_EQ(TextBetween("Version: 10.0;", "VERSION: ", ";", 1, true), "10.0");
  EXPECT_EQ(TextBetween("Version: 10.0;", "VERSION: ", ";", 1, false), "");
}

TEST(TextFind, NeverMatchesInsideDoubleByteCharacter) {
  // "中" is D6 D0 in GBK; "褐" is BA D6. A byte-wise search for "中" in
  // "褐辛" (BA D6 D0 C1) would match at byte 2, across two characters.
  const Text text = "\xBA\xD6\xD0\xC1";
  EXPECT_EQ(TextFind(text, "\xD6\xD0", 1, false), -1);
  // An ASCII letter that is the trail byte of a character ("馎" is F1 41)
  // is not a match, with or without ignore-case.
  EXPECT_EQ(TextFind("\xF1\x41", "A", 1, false), -1);
  EXPECT_EQ(TextFind("\xF1\x41" "a", "A", 1, true), 3);
  EXPECT_EQ(TextFind("中文abc", "abc", 1, false), 5);
  EXPECT_EQ(TextFind("abc", "", 2, false), 2);
}

TEST(UrlDecode, UpperCaseEscapesOnly) {
  EXPECT_EQ(UrlDecode("a%20b%2Fc", false), "a b/c");
  // Lower-case hexadecimal digits are not recognised: copied as they are.
  EXPECT_EQ(UrlDecode("a%2fb", false), "a%2fb");
  EXPECT_EQ(UrlDecode("%4g%41", false), "%4gA");
  // "+" is not a blank here.
  EXPECT_EQ(UrlDecode("a+b", false), "a+b");
  // A zero byte decodes like any other.
  EXPECT_EQ(UrlDecode("x%00y", false), std::string("x\0y", 3));
}

TEST(UrlDecode, TruncatedEscapesAreCopiedSafely) {
  // Nothing is read past the end of the text.
  EXPECT_EQ(UrlDecode("%", false), "%");
  EXPECT_EQ(UrlDecode("abc%", false), "abc%");
  EXPECT_EQ(UrlDecode("abc%4", false), "abc%4");
  EXPECT_EQ(UrlDecode("%%41", false), "%A");
  EXPECT_EQ(UrlDecode("", false), "");
}

TEST(SplitText, KeepsEmptyPieces) {
  EXPECT_EQ(SplitText("a,,b,", ","), (std::vector<Text>{"a", "", "b", ""}));
  EXPECT_EQ(SplitText(",", ","), (std::vector<Text>{"", ""}));
  EXPECT_EQ(SplitText("a\r\nb", "\r\n"), (std::vector<Text>{"a", "b"}));
  EXPECT_EQ(SplitText("abc", ";"), (std::vector<Text>{"abc"}));
  EXPECT_TRUE(SplitText("", ";").empty());
}

TEST(TextHelpers, TrimUpperBytes) {
  EXPECT_EQ(TrimText("  \t a b \r\n"), "a b");
  EXPECT_EQ(TrimText("   "), "");
  // Upper-casing keeps double-byte characters whose trail byte is a letter.
  EXPECT_EQ(UpperAscii("abc\xF1\x61z"), "ABC\xF1\x61Z");
  Bytes b = {'a', 0, 'b'};
  EXPECT_EQ(BytesToText(b), "a");
  EXPECT_EQ(TextToBytes("ab"), (Bytes{'a', 'b'}));
}

TEST(Md5, KnownVectors) {
  struct {
    const char* in;
    const char* hex;
  } v[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : v) EXPECT_EQ(TextDigest(c.in), c.hex) << c.in;
  EXPECT_EQ(Md5Hex("abc", 3, true), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(Md5, PiecewiseUpdatesMatchOneShot) {
  // Lengths around the 56- and 64-byte padding boundaries, fed in odd pieces.
  std::string data;
  for (int i = 0; i < 300; ++i) data.push_back(static_cast<char>(i * 7 + 3));
  for (size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    const std::string whole = Md5Hex(data.data(), len, false);
    for (size_t step : {1u, 3u, 17u, 64u}) {
      Md5 m;
      for (size_t at = 0; at < len; at += step) m.Update(data.data() + at, std::min(step, len - at));
      uint8_t d[16];
      m.Final(d);
      EXPECT_EQ(Md5::Hex(d, false), whole) << len << "/" << step;
    }
  }
}

TEST(Crc32, KnownVectorsAndContinuation) {
  EXPECT_EQ(Crc32(0, "", 0), 0u);
  EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(0, "The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
  // Continuing over pieces gives the CRC of the whole.
  uint32_t c = Crc32(0, "12345", 5);
  EXPECT_EQ(Crc32(c, "6789", 4), 0xCBF43926u);
}

TEST(LogTimestamp, DropsTrailingZeroFields) {
  LocalTime t;
  t.year = 2019;
  t.month = 8;
  t.day = 19;
  t.hour = 10;
  EXPECT_EQ(FormatLogTimestamp(t), "2019年8月19日10时");
  t.minute = 5;
  EXPECT_EQ(FormatLogTimestamp(t), "2019年8月19日10时5分");
  t.second = 7;
  EXPECT_EQ(FormatLogTimestamp(t), "2019年8月19日10时5分7秒");
  // Zero fields before the last non-zero one are written.
  t.hour = 0;
  t.minute = 0;
  EXPECT_EQ(FormatLogTimestamp(t), "2019年8月19日0时0分7秒");
  t.second = 0;
  EXPECT_EQ(FormatLogTimestamp(t), "2019年8月19日");  // midnight: the date alone
  t.hour = 9;
  t.minute = 5;
  t.second = 7;
  EXPECT_EQ(FormatLogTimestamp(t), "2019年8月19日9时5分7秒");
}

}  // namespace
}  // namespace mv
