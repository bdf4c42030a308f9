// libFuzzer target for the partition-table reader and the listing.
// Input: one mode byte, then the disk image.
//   bit 0: the disk claims 2^40 sectors and every sector number wraps onto
//          the image, so that any pointer in a table lands on fuzzed data
//          (chains loop, arrays are huge); otherwise reads past the image fail
//   bit 1: 4096-byte sectors instead of 512
//   bit 2: (with bit 0) the disk's size is unknown
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tools/qzdir/listing.h"
#include "tools/qzdir/partitions.h"

namespace {

class FuzzDisk : public mv::qzdir::BlockReader {
 public:
  FuzzDisk(const uint8_t* data, size_t size, uint8_t mode)
      : data_(data), size_(size), sector_((mode & 2) ? 4096 : 512), wrap_(mode & 1) {
    sectors_ = size_ / sector_;
    claimed_ = wrap_ ? ((mode & 4) ? 0 : (uint64_t(1) << 40)) : sectors_;
  }
  uint32_t SectorSize() const override { return sector_; }
  uint64_t SectorCount() const override { return claimed_; }
  bool ReadSectors(uint64_t lba, uint32_t count, uint8_t* out) override {
    if (sectors_ == 0) return false;
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t s = lba + i;
      if (wrap_) {
        s %= sectors_;
      } else if (s >= sectors_) {
        return false;
      }
      std::memcpy(out + size_t(i) * sector_, data_ + s * sector_, sector_);
    }
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  uint32_t sector_;
  bool wrap_;
  uint64_t sectors_ = 0, claimed_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzDisk disk(data + 1, size - 1, data[0]);
  mv::qzdir::Disk d;
  d.number = data[0] >> 3;
  d.layout = mv::qzdir::ReadDiskLayout(disk);
  if (d.layout.partitions.size() > mv::qzdir::kMaxEntries) __builtin_trap();
  for (size_t i = 1; i < d.layout.partitions.size(); ++i) {
    if (d.layout.partitions[i - 1].start_lba > d.layout.partitions[i].start_lba) __builtin_trap();
  }
  // A volume on the first partition and one that matches by serial number.
  std::vector<mv::qzdir::MountedVolume> volumes(2);
  volumes[0].letter = 'C';
  volumes[1].letter = 'D';
  volumes[1].has_serial = true;
  if (!d.layout.partitions.empty()) {
    const auto& p = d.layout.partitions.front();
    volumes[0].extents.push_back({d.number, p.start_lba * d.layout.sector_size, p.sector_count});
    volumes[1].serial = d.layout.partitions.back().serial;
  }
  volumes[0].label.assign(reinterpret_cast<const char*>(data), size < 40 ? size : 40);
  std::string text = mv::qzdir::FormatListing({d}, volumes);
  if (text.size() > 64 * 1024) __builtin_trap();
  return 0;
}
