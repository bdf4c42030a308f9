#include "tools/qzdir/partitions.h"

#include "core/crc32.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace mv::qzdir {
namespace {

// Limits that keep a hostile or damaged table from costing time or memory.
constexpr size_t kMaxCandidates = 256;         // partitions gathered before sorting
constexpr int kMaxChainLinks = 1024;           // extended boot records followed
constexpr uint32_t kMaxGptEntrySize = 4096;
constexpr uint64_t kMaxGptArrayBytes = 2u << 20;  // 16384 entries of 128 bytes

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | (uint64_t(Le32(p + 4)) << 32); }

bool IsContainer(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }
// Containers and the hidden extended types are never listed.
bool IsLeftOut(uint8_t type) { return type == 0 || IsContainer(type) || type == 0x15 || type == 0x1F || type == 0x95; }

bool IsHiddenMbrType(uint8_t t) {
  switch (t) {
    case 0x11: case 0x12: case 0x14: case 0x16: case 0x17: case 0x1B: case 0x1C: case 0x1E: case 0x27:
      return true;
    default:
      return false;
  }
}

std::string MbrTypeName(uint8_t t) {
  switch (t) {
    case 0x01: case 0x11: return "FAT12";
    case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: case 0x1E: return "FAT16";
    case 0x07: case 0x17: case 0x27: return "NTFS";
    case 0x0B: case 0x0C: case 0x1B: case 0x1C: return "FAT32";
    case 0x12: return "Diag";
    case 0x42: return "LDM";
    case 0x82: return "LinuxSwap";
    case 0x83: return "Linux";
    case 0x8E: return "LinuxLVM";
    case 0xEE: return "GPT";
    case 0xEF: return "EFI";
    default: {
      static const char kHex[] = "0123456789ABCDEF";
      std::string s = "Type";
      s += kHex[t >> 4];
      s += kHex[t & 15];
      return s;
    }
  }
}

// A GUID as GPT stores it: the first three groups little-endian.
struct Guid {
  uint8_t b[16];
};
constexpr Guid MakeGuid(uint32_t a, uint16_t b, uint16_t c, uint16_t d, uint64_t e) {
  return Guid{{uint8_t(a), uint8_t(a >> 8), uint8_t(a >> 16), uint8_t(a >> 24), uint8_t(b), uint8_t(b >> 8),
               uint8_t(c), uint8_t(c >> 8), uint8_t(d >> 8), uint8_t(d), uint8_t(e >> 40), uint8_t(e >> 32),
               uint8_t(e >> 24), uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e)}};
}

struct GptKind {
  Guid guid;
  const char* name;
};
constexpr Guid kLdmMetadata = MakeGuid(0x5808C8AA, 0x7E8F, 0x42E0, 0x85D2, 0xE1E90434CFB3ull);
const GptKind kGptKinds[] = {
    {MakeGuid(0xC12A7328, 0xF81F, 0x11D2, 0xBA4B, 0x00A0C93EC93Bull), "EFI"},
    {MakeGuid(0xE3C9E316, 0x0B5C, 0x4DB8, 0x817D, 0xF92DF00215AEull), "MSR"},
    {MakeGuid(0xEBD0A0A2, 0xB9E5, 0x4433, 0x87C0, 0x68B6B72699C7ull), "BasicData"},
    {MakeGuid(0xDE94BBA4, 0x06D1, 0x4D40, 0xA16A, 0xBFD50179D6ACull), "Recovery"},
    {kLdmMetadata, "LDMMeta"},
    {MakeGuid(0xAF9B60A0, 0x1431, 0x4F62, 0xBC68, 0x3311714A69ADull), "LDMData"},
    {MakeGuid(0x0FC63DAF, 0x8483, 0x4772, 0x8E79, 0x3D69D8477DE4ull), "Linux"},
    {MakeGuid(0x0657FD6D, 0xA4AB, 0x43C4, 0x84E5, 0x0933C84B4F4Full), "LinuxSwap"},
    {MakeGuid(0x21686148, 0x6449, 0x6E6F, 0x744E, 0x656564454649ull), "BIOSBoot"},
};

bool SameGuid(const uint8_t* a, const Guid& g) { return std::memcmp(a, g.b, 16) == 0; }

class Reader {
 public:
  explicit Reader(BlockReader& disk) : disk_(disk), size_(disk.SectorSize()), total_(disk.SectorCount()) {}
  uint32_t sector_size() const { return size_; }
  uint64_t total() const { return total_; }
  // Reads count sectors into out; refuses reads that cannot lie on the disk.
  bool Read(uint64_t lba, uint64_t count, std::vector<uint8_t>& out) {
    if (count == 0 || count > 0xFFFFFFFFu) return false;
    if (total_ && (lba >= total_ || count > total_ - lba)) return false;
    out.assign(size_t(count) * size_, 0);
    return disk_.ReadSectors(lba, uint32_t(count), out.data());
  }
  // True when [start, start + count) lies on the disk (or the size is unknown).
  bool Fits(uint64_t start, uint64_t count) const {
    if (start == 0 || count == 0) return false;
    if (start + count < start) return false;
    return total_ == 0 || (start < total_ && count <= total_ - start);
  }

 private:
  BlockReader& disk_;
  uint32_t size_;
  uint64_t total_;
};

bool HasBootSignature(const std::vector<uint8_t>& s) { return s.size() >= 512 && s[510] == 0x55 && s[511] == 0xAA; }

// A partition table sector has the signature and only 0x00/0x80 status bytes;
// a boot sector of an unpartitioned volume has the signature but not these.
bool LooksLikeTable(const std::vector<uint8_t>& s) {
  if (!HasBootSignature(s)) return false;
  for (int i = 0; i < 4; ++i) {
    uint8_t status = s[446 + 16 * i];
    if (status != 0x00 && status != 0x80) return false;
  }
  return true;
}

struct MbrSlot {
  uint8_t type;
  uint32_t start;
  uint32_t count;
};
MbrSlot SlotAt(const std::vector<uint8_t>& s, int i) {
  const uint8_t* e = s.data() + 446 + 16 * i;
  return MbrSlot{e[4], Le32(e + 8), Le32(e + 12)};
}

PartitionEntry MbrEntry(EntryKind kind, uint32_t slot, uint8_t type, uint64_t start, uint64_t count) {
  PartitionEntry p;
  p.kind = kind;
  p.slot = slot;
  p.start_lba = start;
  p.sector_count = count;
  p.mbr_type = type;
  p.hidden = IsHiddenMbrType(type);
  p.type_name = MbrTypeName(type);
  return p;
}

// Follows the chain of extended boot records inside one container. Every
// link must stay inside the container and no record is visited twice.
void WalkExtended(Reader& r, uint64_t base, uint64_t size, DiskLayout& out, uint32_t& next_slot,
                  std::set<uint64_t>& visited, std::vector<PartitionEntry>& found) {
  const uint64_t end = base + size;
  uint64_t ebr = base;
  std::vector<uint8_t> s;
  for (int link = 0; link < kMaxChainLinks && found.size() < kMaxCandidates; ++link) {
    if (ebr < base || ebr >= end || !visited.insert(ebr).second) {
      out.damaged = true;
      return;
    }
    if (!r.Read(ebr, 1, s) || !HasBootSignature(s)) {
      out.damaged = true;
      return;
    }
    MbrSlot logical = SlotAt(s, 0);
    if (!IsLeftOut(logical.type) && logical.count != 0) {
      uint64_t start = ebr + logical.start;
      if (logical.start != 0 && start + logical.count <= end && r.Fits(start, logical.count)) {
        found.push_back(MbrEntry(EntryKind::kLogical, next_slot, logical.type, start, logical.count));
      } else {
        out.damaged = true;
      }
      ++next_slot;
    }
    MbrSlot link_slot = SlotAt(s, 1);
    if (!IsContainer(link_slot.type) || link_slot.start == 0) return;  // end of the chain
    ebr = base + link_slot.start;
  }
  out.damaged = true;  // too many links: a loop through ever-new sectors
}

struct GptHeader {
  uint64_t my_lba, alternate_lba, first_usable, last_usable, entries_lba;
  uint32_t entry_count, entry_size, entries_crc;
};

// Reads and checks the header at lba. The header's own CRC, its position,
// the sizes of the entry array and its place on the disk must all be sound.
bool ReadGptHeader(Reader& r, uint64_t lba, GptHeader& h) {
  std::vector<uint8_t> s;
  if (!r.Read(lba, 1, s)) return false;
  if (std::memcmp(s.data(), "EFI PART", 8) != 0) return false;
  uint32_t header_size = Le32(&s[12]);
  if (header_size < 92 || header_size > r.sector_size()) return false;
  uint32_t stored_crc = Le32(&s[16]);
  std::memset(&s[16], 0, 4);
  if (Crc32(s.data(), header_size) != stored_crc) return false;
  h.my_lba = Le64(&s[24]);
  h.alternate_lba = Le64(&s[32]);
  h.first_usable = Le64(&s[40]);
  h.last_usable = Le64(&s[48]);
  h.entries_lba = Le64(&s[72]);
  h.entry_count = Le32(&s[80]);
  h.entry_size = Le32(&s[84]);
  h.entries_crc = Le32(&s[88]);
  if (h.my_lba != lba) return false;
  if (h.entry_size < 128 || h.entry_size > kMaxGptEntrySize || h.entry_size % 8 != 0) return false;
  if (h.entry_count == 0 || uint64_t(h.entry_count) * h.entry_size > kMaxGptArrayBytes) return false;
  if (h.first_usable > h.last_usable || h.entries_lba < 2) return false;
  // A usable range beyond the end (a disk cut short) is not fatal: the
  // entries that still fit on the disk are listed.
  if (r.total() && h.entries_lba >= r.total()) return false;
  return true;
}

bool ReadGptEntries(Reader& r, const GptHeader& h, std::vector<uint8_t>& array) {
  uint64_t bytes = uint64_t(h.entry_count) * h.entry_size;
  uint64_t sectors = (bytes + r.sector_size() - 1) / r.sector_size();
  if (!r.Read(h.entries_lba, sectors, array)) return false;
  return Crc32(array.data(), size_t(bytes)) == h.entries_crc;
}

void ReadGpt(Reader& r, DiskLayout& out, std::vector<PartitionEntry>& found) {
  out.style = DiskStyle::kGpt;
  GptHeader h{};
  std::vector<uint8_t> array;
  bool ok = ReadGptHeader(r, 1, h) && ReadGptEntries(r, h, array);
  if (!ok) {
    // The backup copy: where the primary says it is, else the last sector.
    out.damaged = true;
    uint64_t backup = (h.alternate_lba > 1) ? h.alternate_lba : 0;
    ok = backup && ReadGptHeader(r, backup, h) && ReadGptEntries(r, h, array);
    if (!ok && r.total() > 2 && backup != r.total() - 1)
      ok = ReadGptHeader(r, r.total() - 1, h) && ReadGptEntries(r, h, array);
    if (!ok) return;
  }
  bool dynamic = false;
  for (uint32_t i = 0; i < h.entry_count && found.size() < kMaxCandidates; ++i) {
    const uint8_t* e = array.data() + size_t(i) * h.entry_size;
    static const uint8_t kZero[16] = {};
    if (std::memcmp(e, kZero, 16) == 0) continue;  // unused slot
    uint64_t first = Le64(e + 32), last = Le64(e + 40);
    if (first > last || first < h.first_usable || last > h.last_usable || !r.Fits(first, last - first + 1)) {
      out.damaged = true;
      continue;
    }
    PartitionEntry p;
    p.kind = EntryKind::kGpt;
    p.slot = i + 1;
    p.start_lba = first;
    p.sector_count = last - first + 1;
    std::memcpy(p.gpt_type, e, 16);
    p.gpt_attributes = Le64(e + 48);
    p.hidden = (p.gpt_attributes >> 62) & 1;
    p.type_name = "Unknown";
    for (const GptKind& k : kGptKinds) {
      if (SameGuid(e, k.guid)) p.type_name = k.name;
    }
    if (SameGuid(e, kLdmMetadata)) dynamic = true;
    found.push_back(p);
  }
  if (dynamic) out.style = DiskStyle::kDynGpt;
}

void ReadMbr(Reader& r, const std::vector<uint8_t>& mbr, DiskLayout& out, std::vector<PartitionEntry>& found) {
  out.style = DiskStyle::kMbr;
  std::set<uint64_t> visited;
  uint32_t next_logical = 5;
  for (int i = 0; i < 4; ++i) {
    MbrSlot s = SlotAt(mbr, i);
    if (s.type == 0x42) out.style = DiskStyle::kDynMbr;
    if (IsContainer(s.type)) {
      if (r.Fits(s.start, s.count)) {
        uint64_t size = s.count;
        WalkExtended(r, s.start, size, out, next_logical, visited, found);
      } else if (s.count != 0) {
        out.damaged = true;
      }
      continue;
    }
    if (IsLeftOut(s.type) || s.count == 0) continue;
    if (!r.Fits(s.start, s.count)) {
      out.damaged = true;
      continue;
    }
    found.push_back(MbrEntry(EntryKind::kPrimary, uint32_t(i + 1), s.type, s.start, s.count));
  }
}

// Names the file system from the partition's boot sector and takes its
// volume serial number (the low 32 bits, as the system reports it).
void ProbeBootSector(Reader& r, PartitionEntry& p) {
  std::vector<uint8_t> s;
  if (!r.Read(p.start_lba, 1, s) || !HasBootSignature(s)) return;
  auto at = [&](size_t off, const char* text) { return std::memcmp(&s[off], text, std::strlen(text)) == 0; };
  if (at(3, "NTFS    ")) {
    p.fs_name = "NTFS";
    p.serial = Le32(&s[0x48]);
  } else if (at(3, "EXFAT   ")) {
    p.fs_name = "exFAT";
    p.serial = Le32(&s[0x64]);
  } else if (at(82, "FAT32   ") && s[66] == 0x29) {
    p.fs_name = "FAT32";
    p.serial = Le32(&s[0x43]);
  } else if ((at(54, "FAT12") || at(54, "FAT16") || at(54, "FAT  ")) && s[38] == 0x29) {
    p.fs_name = "FAT";
    p.serial = Le32(&s[0x27]);
  } else {
    return;
  }
  p.has_serial = true;
}

}  // namespace

const char* StyleName(DiskStyle style) {
  switch (style) {
    case DiskStyle::kMbr: return "MBR";
    case DiskStyle::kGpt: return "GPT";
    case DiskStyle::kDynMbr: return "DYNMBR";
    case DiskStyle::kDynGpt: return "DYNGPT";
    default: return "";
  }
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) { return mv::Crc32(crc, data, size); }

DiskLayout ReadDiskLayout(BlockReader& disk) {
  DiskLayout out;
  uint32_t ss = disk.SectorSize();
  if (ss < 512 || ss > 65536 || (ss & (ss - 1)) != 0) return out;
  out.sector_size = ss;
  Reader r(disk);
  std::vector<uint8_t> mbr;
  if (!r.Read(0, 1, mbr) || !LooksLikeTable(mbr)) return out;

  std::vector<PartitionEntry> found;
  bool protective = false;
  for (int i = 0; i < 4; ++i) protective |= SlotAt(mbr, i).type == 0xEE;
  if (protective)
    ReadGpt(r, out, found);
  else
    ReadMbr(r, mbr, out, found);

  std::stable_sort(found.begin(), found.end(),
                   [](const PartitionEntry& a, const PartitionEntry& b) { return a.start_lba < b.start_lba; });
  if (found.size() > kMaxEntries) found.resize(kMaxEntries);
  for (PartitionEntry& p : found) ProbeBootSector(r, p);
  out.partitions = std::move(found);
  return out;
}

}  // namespace mv::qzdir
