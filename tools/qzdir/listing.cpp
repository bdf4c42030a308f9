#include "tools/qzdir/listing.h"

#include <cstdio>

namespace mv::qzdir {
namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

std::string Gb(uint64_t bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2lfGB", double(bytes) / kGiB);
  return buf;
}

const char* KindName(EntryKind k) {
  switch (k) {
    case EntryKind::kLogical: return "Logical";
    case EntryKind::kGpt: return "GPT";
    default: return "Primary";
  }
}

bool IsDynamic(DiskStyle s) { return s == DiskStyle::kDynMbr || s == DiskStyle::kDynGpt; }

bool StartsAt(const MountedVolume& v, uint32_t disk, uint64_t offset) {
  for (const Extent& e : v.extents) {
    if (e.disk == disk && e.offset == offset) return true;
  }
  return false;
}

}  // namespace

std::string ListedLabel(const std::string& label) {
  std::string out;
  for (size_t i = 0; i < label.size();) {
    unsigned char c = static_cast<unsigned char>(label[i]);
    size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < label.size()) ? 2 : 1;
    if (out.size() + len > 25) break;
    for (size_t k = 0; k < len; ++k) {
      unsigned char b = static_cast<unsigned char>(label[i + k]);
      out += (len == 1 && b < 0x20) ? ' ' : char(b);
    }
    i += len;
  }
  return out;
}

std::string FormatListing(const std::vector<Disk>& disks, const std::vector<MountedVolume>& volumes) {
  std::vector<bool> taken(volumes.size(), false);
  // Pass 1: every volume that knows its extents finds its partition directly;
  // pass 2 (below, per partition) lets the others match by serial number.
  std::vector<std::vector<int>> match(disks.size());
  for (size_t d = 0; d < disks.size(); ++d) {
    const DiskLayout& l = disks[d].layout;
    match[d].assign(l.partitions.size(), -1);
    for (size_t i = 0; i < l.partitions.size(); ++i) {
      uint64_t offset = l.partitions[i].start_lba * l.sector_size;
      for (size_t v = 0; v < volumes.size(); ++v) {
        if (!taken[v] && StartsAt(volumes[v], disks[d].number, offset)) {
          match[d][i] = int(v);
          taken[v] = true;
          break;
        }
      }
    }
  }
  for (size_t d = 0; d < disks.size(); ++d) {
    const DiskLayout& l = disks[d].layout;
    for (size_t i = 0; i < l.partitions.size(); ++i) {
      const PartitionEntry& p = l.partitions[i];
      if (match[d][i] >= 0 || !p.has_serial) continue;
      for (size_t v = 0; v < volumes.size(); ++v) {
        const MountedVolume& mv = volumes[v];
        if (!taken[v] && mv.extents.empty() && mv.has_serial && mv.serial == p.serial) {
          match[d][i] = int(v);
          taken[v] = true;
          break;
        }
      }
    }
  }

  std::string out;
  char line[512];
  for (size_t d = 0; d < disks.size(); ++d) {
    const Disk& disk = disks[d];
    const DiskLayout& l = disk.layout;
    for (size_t i = 0; i < l.partitions.size(); ++i) {
      const PartitionEntry& p = l.partitions[i];
      const MountedVolume* v = match[d][i] >= 0 ? &volumes[size_t(match[d][i])] : nullptr;
      std::string drive = v ? std::string(1, v->letter) + ":" : "  ";
      std::string free = (v && v->free_bytes) ? Gb(v->free_bytes) : "unknown";
      std::string fs = (v && !v->fs_name.empty()) ? v->fs_name : !p.fs_name.empty() ? p.fs_name : p.type_name;
      std::string label = v ? ListedLabel(v->label) : "";
      std::snprintf(line, sizeof line, "%u:%d\t%s\t%s\t%s\t%s\t%s%s\t%s\t%s\t%u\n", disk.number + 1, int(i + 1),
                    drive.c_str(), Gb(p.sector_count * l.sector_size).c_str(), free.c_str(), KindName(p.kind),
                    p.hidden ? "hidden" : "", fs.c_str(), label.c_str(), StyleName(l.style), p.slot);
      out += line;
    }
    if (!IsDynamic(l.style)) continue;
    // Volumes of a dynamic disk do not correspond to table entries: each is
    // listed once, after the disk on which its first extent lies.
    for (size_t v = 0; v < volumes.size(); ++v) {
      const MountedVolume& mv = volumes[v];
      if (taken[v] || mv.extents.empty() || mv.extents.front().disk != disk.number) continue;
      taken[v] = true;
      uint64_t size = mv.size_bytes;
      if (!size) {
        for (const Extent& e : mv.extents) size += e.length;
      }
      std::snprintf(line, sizeof line, "  \t%c:\t%s\t%s\tDynamic\t%s\t%s\n", mv.letter, Gb(size).c_str(),
                    Gb(mv.free_bytes).c_str(), mv.fs_name.c_str(), ListedLabel(mv.label).c_str());
      out += line;
    }
  }
  return out;
}

}  // namespace mv::qzdir
