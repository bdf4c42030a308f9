// The IDENTIFY parser on hand-built blocks, and the processor's brand string.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detect/hardware.h"

namespace {

// Stores text the way a drive does: padded with blanks to size, two
// characters per word with the bytes of each word swapped.
void PutAta(std::vector<uint8_t>& block, size_t offset, const std::string& text, size_t size) {
  std::string padded = text;
  padded.resize(size, ' ');
  for (size_t i = 0; i < size; i += 2) {
    block[offset + i] = uint8_t(padded[i + 1]);
    block[offset + i + 1] = uint8_t(padded[i]);
  }
}

std::vector<uint8_t> IdentifyBlock(const std::string& serial, const std::string& firmware, const std::string& model) {
  std::vector<uint8_t> b(512, 0);
  PutAta(b, 20, serial, 20);
  PutAta(b, 46, firmware, 8);
  PutAta(b, 54, model, 40);
  return b;
}

TEST(Identify, FieldsAreSwappedCutAndTrimmed) {
  auto b = IdentifyBlock("     WD-WCC4N7654321", "82.00A82", "WDC WD10EZEX-08WN4A0");
  mv::DiskRecord r;
  ASSERT_TRUE(mv::ParseIdentify(b.data(), b.size(), r));
  EXPECT_EQ(r.model, "WDC WD10EZEX-08WN4A0");
  EXPECT_EQ(r.serial_tail, "N7654321");
  EXPECT_EQ(r.firmware, "82.00A82");

  // Only the first 24 of the 40 model characters count.
  b = IdentifyBlock("S3Z9NB0K123456A", "RVT04B6Q", "Samsung SSD 860 EVO 500GB");
  ASSERT_TRUE(mv::ParseIdentify(b.data(), b.size(), r));
  EXPECT_EQ(r.model, "Samsung SSD 860 EVO 500G");
  EXPECT_EQ(r.serial_tail, "56A") << "a serial padded on the right leaves blanks, trimmed away";

  // Leading blanks and a zero byte inside a field.
  b = IdentifyBlock("", "1.0", "   ST500DM002");
  b[54 + 9] = 0;  // character 8 ("D"): stored second in its word
  ASSERT_TRUE(mv::ParseIdentify(b.data(), b.size(), r));
  EXPECT_EQ(r.model, "ST500");
  EXPECT_EQ(r.firmware, "1.0");
  EXPECT_EQ(r.serial_tail, "");
}

TEST(Identify, ShortBlockIsRefused) {
  std::vector<uint8_t> b(511, 'A');
  mv::DiskRecord r;
  EXPECT_FALSE(mv::ParseIdentify(b.data(), b.size(), r));
  EXPECT_FALSE(mv::ParseIdentify(nullptr, 512, r));
}

#if defined(__i386__) || defined(__x86_64__)
TEST(Processor, BrandStringIsPrintableAndTrimmedToTheRegisterSize) {
  // A hypervisor may show the guest another name in /proc/cpuinfo than the
  // brand string the instruction returns, so only the shape is checked.
  std::string name = mv::ProcessorName();
  ASSERT_FALSE(name.empty());
  EXPECT_LE(name.size(), 48u);
  EXPECT_EQ(name.find('\0'), std::string::npos);
  for (char c : name) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << int(static_cast<unsigned char>(c));
}
#endif

}  // namespace
