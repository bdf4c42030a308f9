// QzDir.exe: lists every partition of the physical disks 0 to 23, one line
// each, for the program's partition parse. Prints nothing and exits with 1
// unless its first argument is "-tavrin".
//
// Mounted volumes are tied to partitions through their disk extents. Where
// the system does not answer the extent request (some virtualised or
// emulated storage stacks), a volume is tied to the partition whose boot
// sector carries its volume serial number; a volume that matches neither
// way leaves its partition listed as not mounted.
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/qzdir/listing.h"
#include "tools/qzdir/partitions.h"

namespace {

using mv::qzdir::BlockReader;

std::string Narrow(const wchar_t* w) {
  int n = WideCharToMultiByte(936, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(936, 0, w, -1, &s[0], n, nullptr, nullptr);
  s.resize(size_t(n - 1));
  return s;
}

// Raw sector reads from an opened physical drive (aligned buffer, as the
// device requires for unbuffered access).
class DriveReader : public BlockReader {
 public:
  explicit DriveReader(HANDLE h) : h_(h) {
    DISK_GEOMETRY g{};
    DWORD got = 0;
    if (DeviceIoControl(h_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &got, nullptr) &&
        g.BytesPerSector >= 512)
      sector_ = g.BytesPerSector;
    uint64_t bytes = 0;
    GET_LENGTH_INFORMATION len{};
    LARGE_INTEGER fs{};
    if (DeviceIoControl(h_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &len, sizeof len, &got, nullptr))
      bytes = uint64_t(len.Length.QuadPart);
    else if (GetFileSizeEx(h_, &fs))  // an image file standing in for a disk
      bytes = uint64_t(fs.QuadPart);
    else if (g.BytesPerSector)
      bytes = uint64_t(g.Cylinders.QuadPart) * g.TracksPerCylinder * g.SectorsPerTrack * g.BytesPerSector;
    count_ = bytes / sector_;
  }
  ~DriveReader() override {
    if (buf_) VirtualFree(buf_, 0, MEM_RELEASE);
  }
  uint32_t SectorSize() const override { return sector_; }
  uint64_t SectorCount() const override { return count_; }
  bool ReadSectors(uint64_t lba, uint32_t count, uint8_t* out) override {
    uint64_t bytes = uint64_t(count) * sector_;
    if (bytes > 0x10000000u) return false;
    if (bytes > cap_) {
      if (buf_) VirtualFree(buf_, 0, MEM_RELEASE);
      buf_ = VirtualAlloc(nullptr, SIZE_T(bytes), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
      cap_ = buf_ ? bytes : 0;
      if (!buf_) throw std::bad_alloc();
    }
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(lba * sector_);
    if (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN)) return false;
    DWORD got = 0;
    if (!ReadFile(h_, buf_, DWORD(bytes), &got, nullptr) || got != bytes) return false;
    std::memcpy(out, buf_, size_t(bytes));
    return true;
  }

 private:
  HANDLE h_;
  uint32_t sector_ = 512;
  uint64_t count_ = 0;
  void* buf_ = nullptr;
  uint64_t cap_ = 0;
};

std::vector<mv::qzdir::MountedVolume> MountedVolumes() {
  std::vector<mv::qzdir::MountedVolume> out;
  DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    wchar_t root[] = {wchar_t(L'A' + i), L':', L'\\', 0};
    UINT type = GetDriveTypeW(root);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
    mv::qzdir::MountedVolume v;
    v.letter = char('A' + i);
    wchar_t label[MAX_PATH + 1] = {}, fs[MAX_PATH + 1] = {};
    DWORD serial = 0, max_len = 0, flags = 0;
    if (GetVolumeInformationW(root, label, MAX_PATH + 1, &serial, &max_len, &flags, fs, MAX_PATH + 1)) {
      v.label = Narrow(label);
      v.fs_name = Narrow(fs);
      v.serial = serial;
      v.has_serial = true;
    }
    ULARGE_INTEGER avail{}, total{}, free_total{};
    if (GetDiskFreeSpaceExW(root, &avail, &total, &free_total)) {
      v.free_bytes = avail.QuadPart;
      v.size_bytes = total.QuadPart;
    }
    wchar_t device[] = {L'\\', L'\\', L'.', L'\\', wchar_t(L'A' + i), L':', 0};
    HANDLE h = CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      union {
        VOLUME_DISK_EXTENTS head;
        unsigned char room[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
      } ext;
      DWORD got = 0;
      if (DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &ext, sizeof ext, &got, nullptr)) {
        DWORD n = ext.head.NumberOfDiskExtents;
        if (n > 32) n = 32;
        for (DWORD k = 0; k < n; ++k) {
          const DISK_EXTENT& e = ext.head.Extents[k];
          v.extents.push_back({uint32_t(e.DiskNumber), uint64_t(e.StartingOffset.QuadPart),
                               uint64_t(e.ExtentLength.QuadPart)});
        }
      }
      CloseHandle(h);
    }
    out.push_back(v);
  }
  return out;
}

int Run() {
  std::vector<mv::qzdir::Disk> disks;
  for (uint32_t n = 0; n < 24; ++n) {
    wchar_t path[32];
    _snwprintf(path, 32, L"\\\\.\\PhysicalDrive%u", n);
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    DriveReader reader(h);
    mv::qzdir::Disk d;
    d.number = n;
    d.layout = mv::qzdir::ReadDiskLayout(reader);
    CloseHandle(h);
    if (d.layout.style != mv::qzdir::DiskStyle::kNone) disks.push_back(std::move(d));
  }
  std::string text = mv::qzdir::FormatListing(disks, MountedVolumes());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "-tavrin") != 0) return 1;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  try {
    return Run();
  } catch (const std::bad_alloc&) {
    return 2;
  }
}
