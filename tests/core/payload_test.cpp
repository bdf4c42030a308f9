// The program carries every file of the manifest: as resources of the
// program file on Windows, as linked-in bytes natively.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/payload.h"

namespace mv {
namespace {

TEST(Payload, EveryManifestEntryIsCarried) {
  size_t n = 0;
  const PayloadEntry* t = PayloadTable(&n);
  std::set<std::string> paths;
  for (size_t i = 0; i < n; ++i) paths.insert(t[i].path);
  for (const char* want : {"tools\\libwim-15.dll", "tools\\wimlib.exe", "xldl.dll", "tools\\bcdedit.exe",
                           "boot\\boot.sdi", "tools\\bootsect.exe", "tools\\QzDir.exe"}) {
    EXPECT_EQ(paths.count(want), 1u) << want;
  }
  std::set<int> ids;
  for (size_t i = 0; i < n; ++i) {
    EXPECT_TRUE(ids.insert(t[i].id).second) << t[i].name << ": id used twice";
    Bytes bytes;
    EXPECT_TRUE(BuiltInPayload().Read(t[i].id, bytes)) << t[i].name;
    EXPECT_FALSE(bytes.empty()) << t[i].name;
    EXPECT_EQ(std::string(t[i].path).find('/'), std::string::npos) << t[i].path;
  }
  Bytes none;
  EXPECT_FALSE(BuiltInPayload().Read(1, none));
}

TEST(Payload, BootImageHasItsShape) {
  Bytes sdi;
  ASSERT_TRUE(BuiltInPayload().Read(kPayloadBootSdi, sdi));
  ASSERT_GE(sdi.size(), 8u);
  EXPECT_EQ(std::string(sdi.begin(), sdi.begin() + 8), "$SDI0001");


  const PayloadEntry* e = FindPayloadEntry(kPayloadBootSdi);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->path), "boot\\boot.sdi");
  EXPECT_EQ(e->base, PayloadBase::kWindowsDrive);
  EXPECT_EQ(e->rule, PayloadRule::kWhenMissing);
  EXPECT_EQ(FindPayloadEntry(kPayloadQzDir)->rule, PayloadRule::kSeparate);
}

}  // namespace
}  // namespace mv
