// The engine's parsers and its control file: the pieces that decide which
// bytes a response holds and what a restart may trust.
#include <gtest/gtest.h>

#include "tools/xldl/control_file.h"
#include "tools/xldl/engine.h"
#include "tools/xldl/text.h"

using namespace xldl;

TEST(ContentRange, ParsesPartsTotalsAndUnsatisfiedForm) {
  int64_t a, b, t;
  ASSERT_TRUE(ParseContentRange("bytes 0-499/1234", &a, &b, &t));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 499);
  EXPECT_EQ(t, 1234);
  ASSERT_TRUE(ParseContentRange("bytes 4831838208-5368709119/5368709120", &a, &b, &t));
  EXPECT_EQ(a, 4831838208LL);
  EXPECT_EQ(t, 5368709120LL);
  ASSERT_TRUE(ParseContentRange("bytes */5368709120", &a, &b, &t));
  EXPECT_EQ(a, -1);
  EXPECT_EQ(t, 5368709120LL);
  ASSERT_TRUE(ParseContentRange("Bytes 5-9/*\r\n", &a, &b, &t));
  EXPECT_EQ(t, -1);
  for (const char* bad : {"", "bytes", "bytes 9-5/100", "bytes 0-100/100", "bytes 0-1", "items 0-1/2", "bytes -1-2/3",
                          "bytes */*", "bytes 0-1/2x", "bytes 99999999999999999999-1/2"}) {
    EXPECT_FALSE(ParseContentRange(bad, &a, &b, &t)) << bad;
  }
}

TEST(ContentLength, SixtyFourBitAndMalformed) {
  EXPECT_EQ(ParseLength("5368709120"), 5368709120LL);
  EXPECT_EQ(ParseLength(" 12 "), 12);
  EXPECT_EQ(ParseLength(""), -1);
  EXPECT_EQ(ParseLength("-5"), -1);
  EXPECT_EQ(ParseLength("12abc"), -1);
}

TEST(ControlFile, RoundTripsAndRejectsAnythingDamaged) {
  ControlState s;
  s.total = 5368709120LL;
  s.segments = {{0, 100, 4294967296LL}, {4294967296LL, 4294967300LL, 5368709120LL}};
  std::string bytes = EncodeControl(s);
  ControlState r;
  ASSERT_TRUE(DecodeControl(bytes, &r));
  EXPECT_EQ(r.total, s.total);
  ASSERT_EQ(r.segments.size(), 2u);
  EXPECT_EQ(r.segments[1].pos, 4294967300LL);

  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string bad = bytes;
    bad[i] ^= 0x10;
    EXPECT_FALSE(DecodeControl(bad, &r)) << "flipped byte " << i;
  }
  EXPECT_FALSE(DecodeControl(bytes.substr(0, bytes.size() - 1), &r));
  EXPECT_FALSE(DecodeControl("", &r));

  // Well-formed records whose segments do not describe the file.
  auto invalid = [&](ControlState c) { return !DecodeControl(EncodeControl(c), &r); };
  EXPECT_TRUE(invalid({100, {{0, 10, 50}}}));                  // a gap at the end
  EXPECT_TRUE(invalid({100, {{0, 10, 60}, {50, 50, 100}}}));   // overlap
  EXPECT_TRUE(invalid({100, {{0, 60, 50}, {50, 50, 100}}}));   // past its end
  EXPECT_TRUE(invalid({100, {{10, 10, 100}}}));                // not from byte 0
  EXPECT_TRUE(invalid({100, {}}));
  EXPECT_FALSE(invalid({100, {{50, 60, 100}, {0, 50, 50}}}));  // order does not matter
}

TEST(Text, Utf8AndUtf16RoundTrip) {
  std::u16string w = u"D:\\MV_OSR\\系统镜像 \U0001F4BE.wim";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(w)), w);
  EXPECT_EQ(Utf8ToUtf16("\xff" "a"), u"\uFFFD" u"a");
  EXPECT_EQ(Utf8ToUtf16("\xe4\xb8"), u"\uFFFD\uFFFD");
}
