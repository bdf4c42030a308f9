// The partition-table reader and the listing format, on disk images that
// sfdisk makes at the start of the run, and on damaged variants of them.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/qzdir/listing.h"
#include "tools/qzdir/partitions.h"

using namespace mv::qzdir;

namespace {

std::string g_dir;

// An image file, optionally cut short and with sectors replaced in memory.
class ImageReader : public BlockReader {
 public:
  explicit ImageReader(const std::string& name) : fd_(open((g_dir + "/" + name).c_str(), O_RDONLY)) {
    EXPECT_GE(fd_, 0) << name;
    count_ = fd_ >= 0 ? uint64_t(lseek(fd_, 0, SEEK_END)) / 512 : 0;
  }
  ~ImageReader() override {
    if (fd_ >= 0) close(fd_);
  }
  uint32_t SectorSize() const override { return 512; }
  uint64_t SectorCount() const override { return count_; }
  bool ReadSectors(uint64_t lba, uint32_t count, uint8_t* buf) override {
    ++reads;
    if (lba + count > count_) return false;
    for (uint32_t i = 0; i < count; ++i) {
      auto p = patches_.find(lba + i);
      if (p != patches_.end()) {
        std::memcpy(buf + 512 * i, p->second.data(), 512);
      } else if (pread(fd_, buf + 512 * i, 512, off_t((lba + i) * 512)) != 512) {
        return false;
      }
    }
    return true;
  }
  std::vector<uint8_t>& Sector(uint64_t lba) {
    auto p = patches_.find(lba);
    if (p == patches_.end()) {
      std::vector<uint8_t> s(512);
      EXPECT_EQ(pread(fd_, s.data(), 512, off_t(lba * 512)), 512);
      p = patches_.emplace(lba, s).first;
    }
    return p->second;
  }
  void Truncate(uint64_t sectors) { count_ = sectors; }
  int reads = 0;

 private:
  int fd_;
  uint64_t count_;
  std::map<uint64_t, std::vector<uint8_t>> patches_;
};

void Put32(std::vector<uint8_t>& s, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[off + i] = uint8_t(v >> (8 * i));
}
uint32_t Get32(const std::vector<uint8_t>& s, size_t off) {
  return uint32_t(s[off]) | uint32_t(s[off + 1]) << 8 | uint32_t(s[off + 2]) << 16 | uint32_t(s[off + 3]) << 24;
}
void ResealGptHeader(std::vector<uint8_t>& s) {
  Put32(s, 16, 0);
  Put32(s, 16, Crc32(s.data(), 92));
}

struct Want {
  uint64_t start, count;
  const char* type;
  uint32_t slot;
};
void ExpectPartitions(const DiskLayout& l, const std::vector<Want>& want) {
  ASSERT_EQ(l.partitions.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(l.partitions[i].start_lba, want[i].start);
    EXPECT_EQ(l.partitions[i].sector_count, want[i].count);
    EXPECT_EQ(l.partitions[i].type_name, want[i].type);
    EXPECT_EQ(l.partitions[i].slot, want[i].slot);
  }
}

const std::vector<Want> kMbr = {
    {2048, 2097152, "NTFS", 1}, {2101248, 1048576, "NTFS", 5}, {3151872, 2097152, "FAT32", 6},
    {5251072, 3137536, "Linux", 7}};
const std::vector<Want> kGpt = {{2048, 204800, "EFI", 1}, {206848, 32768, "MSR", 2}, {239616, 8146944, "BasicData", 3}};

class PartitionImages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* tmp = std::getenv("TMPDIR");
    g_dir = std::string(tmp ? tmp : "/tmp") + "/mv-partitions-" + std::to_string(getpid());
    std::string cmd = std::string("'") + MV_DISK_IMAGES_SCRIPT + "' '" + g_dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "sfdisk images could not be made";
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + g_dir + "'").c_str()); }
};

TEST_F(PartitionImages, MbrListsPrimaryAndLogicalsButNotTheContainer) {
  ImageReader disk("mbr.img");
  DiskLayout l = ReadDiskLayout(disk);
  EXPECT_EQ(l.style, DiskStyle::kMbr);
  EXPECT_FALSE(l.damaged);
  ExpectPartitions(l, kMbr);
  EXPECT_EQ(l.partitions[1].kind, EntryKind::kLogical);
  EXPECT_EQ(l.partitions[0].fs_name, "NTFS");  // the boot sector the script wrote
  EXPECT_EQ(l.partitions[0].serial, 0x1A2B3C4Du);
  EXPECT_FALSE(l.partitions[1].has_serial);
}

TEST_F(PartitionImages, GptListsEfiReservedAndBasicData) {
  ImageReader disk("gpt.img");
  DiskLayout l = ReadDiskLayout(disk);
  EXPECT_EQ(l.style, DiskStyle::kGpt);
  EXPECT_FALSE(l.damaged);
  ExpectPartitions(l, kGpt);
}

TEST_F(PartitionImages, DynamicMarkersGiveTheDynamicStyles) {
  ImageReader mbr("small-dynmbr.img"), gpt("small-dyngpt.img");
  DiskLayout a = ReadDiskLayout(mbr), b = ReadDiskLayout(gpt);
  EXPECT_EQ(a.style, DiskStyle::kDynMbr);
  ExpectPartitions(a, {{4, 100, "LDM", 1}});
  EXPECT_EQ(b.style, DiskStyle::kDynGpt);
  ExpectPartitions(b, {{4, 16, "MSR", 1}, {20, 20, "LDMMeta", 2}, {40, 60, "LDMData", 3}});
}

TEST_F(PartitionImages, PartitionsComeInStartingSectorOrderAndLeftOutTypesAreSkipped) {
  ImageReader disk("small-mbr.img");
  std::vector<uint8_t>& mbr = disk.Sector(0);
  // Slot 1 moves behind the extended container; slot 4 gets a hidden
  // extended type, then a zero size.
  Put32(mbr, 446 + 8, 92);
  mbr[446 + 48 + 4] = 0x1F;
  Put32(mbr, 446 + 48 + 8, 100);
  Put32(mbr, 446 + 48 + 12, 10);
  DiskLayout l = ReadDiskLayout(disk);
  ExpectPartitions(l, {{34, 10, "Linux", 5}, {48, 10, "FAT32", 6}, {62, 20, "NTFS", 7}, {92, 20, "NTFS", 1}});
  mbr[446 + 48 + 4] = 0x07;
  Put32(mbr, 446 + 48 + 12, 0);
  EXPECT_EQ(ReadDiskLayout(disk).partitions.size(), 4u);
  mbr[446 + 4] = 0x00;  // an empty slot with a size is not listed either
  EXPECT_EQ(ReadDiskLayout(disk).partitions.size(), 3u);
}

TEST_F(PartitionImages, ExtendedChainThatLoopsOrLeavesTheDiskEndsCleanly) {
  // Extended boot records sit at sectors 30, 47 and 61; the last one links
  // back to the second.
  ImageReader loop("small-mbr.img");
  std::vector<uint8_t>& last = loop.Sector(61);
  last[446 + 16 + 4] = 0x05;
  Put32(last, 446 + 16 + 8, 47 - 30);
  Put32(last, 446 + 16 + 12, 10);
  DiskLayout l = ReadDiskLayout(loop);
  EXPECT_TRUE(l.damaged);
  ExpectPartitions(l, {{4, 20, "NTFS", 1}, {34, 10, "Linux", 5}, {48, 10, "FAT32", 6}, {62, 20, "NTFS", 7}});

  ImageReader out("small-mbr.img");
  std::vector<uint8_t>& first = out.Sector(30);
  Put32(first, 446 + 16 + 8, 0x7FFFFFF0);  // next record far beyond the disk
  l = ReadDiskLayout(out);
  EXPECT_TRUE(l.damaged);
  ExpectPartitions(l, {{4, 20, "NTFS", 1}, {34, 10, "Linux", 5}});
}

TEST_F(PartitionImages, DamagedPrimaryGptHeaderFallsBackToTheBackup) {
  struct Case {
    const char* what;
    void (*spoil)(std::vector<uint8_t>& header);
  };
  const Case cases[] = {
      {"wrong CRC", [](std::vector<uint8_t>& h) { h[40] ^= 1; }},
      {"millions of entries", [](std::vector<uint8_t>& h) { Put32(h, 80, 5000000); ResealGptHeader(h); }},
      {"huge entry size", [](std::vector<uint8_t>& h) { Put32(h, 84, 1u << 20); ResealGptHeader(h); }},
      {"entry array CRC", [](std::vector<uint8_t>& h) { Put32(h, 88, Get32(h, 88) ^ 1); ResealGptHeader(h); }},
      {"array off the disk", [](std::vector<uint8_t>& h) { Put32(h, 72, 0xFFFFFF00u); Put32(h, 76, 0xFF); ResealGptHeader(h); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageReader disk("gpt.img");
    c.spoil(disk.Sector(1));
    DiskLayout l = ReadDiskLayout(disk);
    EXPECT_EQ(l.style, DiskStyle::kGpt);
    EXPECT_TRUE(l.damaged);
    ExpectPartitions(l, kGpt);
  }
}

TEST_F(PartitionImages, GptWithoutAnySoundHeaderListsNothing) {
  ImageReader disk("gpt.img");
  disk.Sector(1)[20] ^= 1;
  disk.Sector(disk.SectorCount() - 1)[20] ^= 1;
  DiskLayout l = ReadDiskLayout(disk);
  EXPECT_EQ(l.style, DiskStyle::kGpt);
  EXPECT_TRUE(l.partitions.empty());
}

TEST_F(PartitionImages, TruncatedDiskListsOnlyWhatFitsOnIt) {
  ImageReader mbr("mbr.img");
  mbr.Truncate(4000000);  // ends inside the FAT32 logical partition
  DiskLayout l = ReadDiskLayout(mbr);
  ExpectPartitions(l, {kMbr[0]});  // the container itself no longer fits
  EXPECT_TRUE(l.damaged);

  ImageReader gpt("gpt.img");
  gpt.Truncate(1000000);  // the backup header and most of the data partition are gone
  l = ReadDiskLayout(gpt);
  EXPECT_EQ(l.style, DiskStyle::kGpt);
  EXPECT_TRUE(l.damaged);
  ExpectPartitions(l, {kGpt[0], kGpt[1]});

  ImageReader tiny("gpt.img");
  tiny.Truncate(1);
  EXPECT_EQ(ReadDiskLayout(tiny).style, DiskStyle::kGpt);
}

TEST_F(PartitionImages, AtMostThirtyTwoEntriesPerDisk) {
  // Forty GPT entries of two sectors each, written in reverse order.
  ImageReader disk("gpt.img");
  std::vector<uint8_t> array(128 * 128, 0);
  for (int i = 0; i < 40; ++i) {
    uint8_t* e = &array[size_t(i) * 128];
    e[0] = 0xA2; e[1] = 0xA0; e[2] = 0xD0; e[3] = 0xEB; e[4] = 0xE5; e[5] = 0xB9; e[6] = 0x33; e[7] = 0x44;
    e[8] = 0x87; e[9] = 0xC0; e[10] = 0x68; e[11] = 0xB6; e[12] = 0xB7; e[13] = 0x26; e[14] = 0x99; e[15] = 0xC7;
    uint64_t first = 4096 + uint64_t(39 - i) * 2;
    for (int k = 0; k < 8; ++k) e[32 + k] = uint8_t(first >> (8 * k)), e[40 + k] = uint8_t((first + 1) >> (8 * k));
  }
  for (int s = 0; s < 32; ++s) std::memcpy(disk.Sector(2 + s).data(), &array[size_t(s) * 512], 512);
  std::vector<uint8_t>& h = disk.Sector(1);
  Put32(h, 88, Crc32(array.data(), array.size()));
  ResealGptHeader(h);
  DiskLayout l = ReadDiskLayout(disk);
  ASSERT_EQ(l.partitions.size(), kMaxEntries);
  EXPECT_EQ(l.partitions.front().start_lba, 4096u);
  EXPECT_EQ(l.partitions.front().slot, 40u);
  EXPECT_EQ(l.partitions.back().start_lba, 4096u + 31 * 2);
}

TEST_F(PartitionImages, DisksWithoutATableGiveNoStyle) {
  ImageReader blank("mbr.img");
  blank.Sector(0)[510] = 0;
  EXPECT_EQ(ReadDiskLayout(blank).style, DiskStyle::kNone);
  ImageReader volume("mbr.img");  // a boot sector whose status bytes are code
  volume.Sector(0)[446] = 0x33;
  EXPECT_EQ(ReadDiskLayout(volume).style, DiskStyle::kNone);
}

// ---- The listing ------------------------------------------------------------

TEST_F(PartitionImages, ListingOfBothDisksWithMountedVolumes) {
  ImageReader mbr("mbr.img"), gpt("gpt.img");
  std::vector<Disk> disks = {{0, ReadDiskLayout(mbr)}, {1, ReadDiskLayout(gpt)}};
  MountedVolume c;  // found through its extent
  c.letter = 'C';
  c.extents = {{1, 239616ull * 512, 8146944ull * 512}};
  c.free_bytes = 3ull << 30;
  c.fs_name = "NTFS";
  c.label = "System";
  MountedVolume d;  // extents unknown: found through the boot sector's serial
  d.letter = 'D';
  d.serial = 0x1A2B3C4D;
  d.has_serial = true;
  d.fs_name = "NTFS";
  d.label = "Data";
  MountedVolume e;  // matches nothing
  e.letter = 'E';
  e.serial = 0x12345678;
  e.has_serial = true;
  EXPECT_EQ(FormatListing(disks, {c, d, e}),
            "1:1\tD:\t1.00GB\tunknown\tPrimary\tNTFS\tData\tMBR\t1\n"
            "1:2\t  \t0.50GB\tunknown\tLogical\tNTFS\t\tMBR\t5\n"
            "1:3\t  \t1.00GB\tunknown\tLogical\tFAT32\t\tMBR\t6\n"
            "1:4\t  \t1.50GB\tunknown\tLogical\tLinux\t\tMBR\t7\n"
            "2:1\t  \t0.10GB\tunknown\tGPT\tEFI\t\tGPT\t1\n"
            "2:2\t  \t0.02GB\tunknown\tGPT\tMSR\t\tGPT\t2\n"
            "2:3\tC:\t3.88GB\t3.00GB\tGPT\tNTFS\tSystem\tGPT\t3\n");
}

TEST(Listing, HiddenPrefixDynamicVolumesAndLabels) {
  DiskLayout l;
  l.style = DiskStyle::kDynMbr;
  PartitionEntry p;
  p.start_lba = 63;
  p.sector_count = 2097152;
  p.type_name = "LDM";
  p.slot = 1;
  PartitionEntry h = p;
  h.start_lba = 2097215;
  h.hidden = true;
  h.type_name = "NTFS";
  h.slot = 2;
  l.partitions = {p, h};
  MountedVolume v;
  v.letter = 'F';
  v.extents = {{3, 1ull << 20, 1ull << 30}, {4, 1ull << 20, 1ull << 30}};
  v.free_bytes = 1ull << 29;
  v.fs_name = "NTFS";
  v.label = "\t12345678901234567890123456789";
  EXPECT_EQ(FormatListing({{3, l}}, {v}),
            "4:1\t  \t1.00GB\tunknown\tPrimary\tLDM\t\tDYNMBR\t1\n"
            "4:2\t  \t1.00GB\tunknown\tPrimary\thiddenNTFS\t\tDYNMBR\t2\n"
            "  \tF:\t2.00GB\t0.50GB\tDynamic\tNTFS\t 123456789012345678901234\n");
  // A double-byte character is never cut in half.
  EXPECT_EQ(ListedLabel(std::string(24, 'a') + "\xB1\xB8"), std::string(24, 'a'));
  EXPECT_EQ(ListedLabel(std::string(23, 'a') + "\xB1\xB8"), std::string(23, 'a') + "\xB1\xB8");
}

}  // namespace
