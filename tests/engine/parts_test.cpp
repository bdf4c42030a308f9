// The engine's parsers and its control file: the pieces that decide which
// bytes a response holds and what a restart may trust.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "tools/xldl/api.h"
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
  // A single stream whose size is not known yet: one open run from byte 0.
  EXPECT_FALSE(invalid({-1, {{0, 7, -1}}}));
  EXPECT_TRUE(invalid({-1, {{0, 7, -1}, {7, 7, -1}}}));
  EXPECT_TRUE(invalid({-1, {{3, 7, -1}}}));
  EXPECT_TRUE(invalid({-1, {{0, 7, 9}}}));
}

TEST(Text, Utf8AndUtf16RoundTrip) {
  std::u16string w = u"D:\\MV_OSR\\系统镜像 \U0001F4BE.wim";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(w)), w);
  EXPECT_EQ(Utf8ToUtf16("\xff" "a"), u"\uFFFD" u"a");
  EXPECT_EQ(Utf8ToUtf16("\xe4\xb8"), u"\uFFFD\uFFFD");
}

TEST(Records, SetupToTaskParameters) {
  auto s = std::make_unique<DownTaskSetup>();
  memset(s.get(), 0, sizeof *s);
  SetFieldText(s->szTaskUrl, u"HTTPS://example.test/镜像.wim");
  SetFieldText(s->szFilename, u"镜像.wim");
  SetFieldText(s->szSavePath, u"D:\\MV_OSR");  // no trailing backslash
  s->IsResume = 0;
  TaskParams p;
  std::u16string name;
  ASSERT_TRUE(ParamsFromSetup(*s, &p, &name));
  EXPECT_EQ(p.path, "D:\\MV_OSR\\\xe9\x95\x9c\xe5\x83\x8f.wim");
  EXPECT_FALSE(p.resume);
  EXPECT_EQ(name, u"镜像.wim");

  // A name that fills its field has no terminator: it ends at the field.
  std::u16string full(260, u'a');
  SetFieldText(s->szFilename, full + u"overflow");
  ASSERT_TRUE(ParamsFromSetup(*s, &p, &name));
  EXPECT_EQ(name, full);

  for (const char16_t* bad : {u"a\\b", u"a/b", u"..", u".", u"c:x", u"a|b", u"a\tb"}) {
    SetFieldText(s->szFilename, bad);
    EXPECT_FALSE(ParamsFromSetup(*s, &p, &name));
  }
  SetFieldText(s->szFilename, u"x.wim");
  SetFieldText(s->szSavePath, u"");
  EXPECT_FALSE(ParamsFromSetup(*s, &p, &name));
}

TEST(Records, StatusToInfoBlock) {
  TaskStatus st;
  st.stat = kStatRunning;
  st.total = 5368709120LL;
  st.done = 4294967297LL;
  st.percent = 0.8f;
  st.speed = 1048576;
  DownTaskInfo info;
  memset(&info, 0xCC, sizeof info);
  FillInfo(st, u"big.wim", &info);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&info);
  auto le64 = [&](size_t at) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(b[at + i]) << (8 * i);
    return int64_t(v);
  };
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(le64(1048), 5368709120LL);
  EXPECT_EQ(le64(1056), 4294967297LL);
  EXPECT_EQ(b[8], 'b');
  EXPECT_EQ(b[9], 0);
  EXPECT_EQ(b[8 + 2 * 7], 0);  // terminated
  EXPECT_EQ(b[1428], 0);       // nothing left of the caller's old bytes
}
