// Reading a disk's partition table (MBR with its extended chain, GPT, the
// dynamic-disk markers of both) through a block reader, so that the same
// code serves the disk-listing tool on a physical drive and the tests on
// disk images. Bad tables never crash or loop: what is sound is listed,
// the rest is left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mv::qzdir {

// Sector-granular access to one disk.
class BlockReader {
 public:
  virtual ~BlockReader() = default;
  // Bytes per sector (512 on most disks, 4096 on some).
  virtual uint32_t SectorSize() const = 0;
  // Number of sectors, 0 when the size is unknown.
  virtual uint64_t SectorCount() const = 0;
  // Reads count sectors from lba into buffer (count * SectorSize() bytes).
  // False when any of them cannot be read.
  virtual bool ReadSectors(uint64_t lba, uint32_t count, uint8_t* buffer) = 0;
};

enum class DiskStyle { kNone, kMbr, kGpt, kDynMbr, kDynGpt };
const char* StyleName(DiskStyle style);  // "MBR", "GPT", "DYNMBR", "DYNGPT"; "" for none

enum class EntryKind { kPrimary, kLogical, kGpt };

struct PartitionEntry {
  EntryKind kind = EntryKind::kPrimary;
  uint32_t slot = 0;          // 1-based: MBR slot 1-4, logicals 5, 6, ... in chain order; GPT array index
  uint64_t start_lba = 0;
  uint64_t sector_count = 0;
  uint8_t mbr_type = 0;       // MBR type byte (0 on GPT)
  uint8_t gpt_type[16] = {};  // GPT type GUID as stored on disk (zero on MBR)
  uint64_t gpt_attributes = 0;
  bool hidden = false;        // hidden type byte or GPT attribute bit 62
  std::string type_name;      // "NTFS", "FAT32", "EFI", "MSR", "LDM", ...
  // From the partition's boot sector, when it holds a known file system.
  std::string fs_name;        // "NTFS", "FAT32", "FAT", "exFAT"; empty when unknown
  uint32_t serial = 0;        // volume serial number
  bool has_serial = false;
};

struct DiskLayout {
  DiskStyle style = DiskStyle::kNone;
  uint32_t sector_size = 512;
  // Listable partitions in starting-sector order, at most kMaxEntries.
  std::vector<PartitionEntry> partitions;
  // Set when part of the table was unsound and left out (for diagnostics).
  bool damaged = false;
};

constexpr size_t kMaxEntries = 32;

// Reads and checks the table; never fails, an unreadable disk gives kNone.
DiskLayout ReadDiskLayout(BlockReader& disk);

// CRC-32 as used by GPT (reflected, polynomial 0xEDB88320).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

}  // namespace mv::qzdir
