// The disk-listing tool's output: one TAB-separated line per partition, in
// the format the program's partition parse expects, and one line per volume
// of a dynamic disk. Mounted volumes give the partitions their drive letter,
// free space, file system and label.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/qzdir/partitions.h"

namespace mv::qzdir {

// One place of a volume on a physical disk.
struct Extent {
  uint32_t disk = 0;          // physical drive number (0-based)
  uint64_t offset = 0;        // starting offset in bytes
  uint64_t length = 0;        // bytes
};

struct MountedVolume {
  char letter = 0;            // 'C'
  std::vector<Extent> extents;  // empty when the system cannot tell them
  uint64_t size_bytes = 0;    // total size (0 when unknown)
  uint64_t free_bytes = 0;    // free space for the caller, 0 when unknown
  std::string fs_name;        // "NTFS"; empty when unknown
  std::string label;          // GBK
  uint32_t serial = 0;
  bool has_serial = false;
};

struct Disk {
  uint32_t number = 0;        // physical drive number (0-based)
  DiskLayout layout;
};

// The whole listing: the partitions of every disk in the given order, each
// dynamic disk followed by the lines of the volumes that start on it. A
// volume is matched to a partition by disk number and starting offset; a
// volume whose extents are unknown is matched by the volume serial number in
// the partition's boot sector (first partition not yet taken).
std::string FormatListing(const std::vector<Disk>& disks, const std::vector<MountedVolume>& volumes);

// A label as the listing shows it: at most 25 bytes (never half of a
// double-byte character), control characters replaced by blanks.
std::string ListedLabel(const std::string& label);

}  // namespace mv::qzdir
