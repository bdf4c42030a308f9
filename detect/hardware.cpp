#include "detect/hardware.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace mv {
namespace {

Text TrimBlanks(const Text& t) {
  size_t b = t.find_first_not_of(' ');
  if (b == Text::npos) return Text();
  size_t e = t.find_last_not_of(' ');
  return t.substr(b, e - b + 1);
}

// An IDENTIFY text field: two characters per 16-bit word, bytes swapped.
Text IdentifyText(const uint8_t* field, size_t size) {
  Text t;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char hi = char(field[i + 1]), lo = char(field[i]);
    if (hi == 0) break;
    t += hi;
    if (lo == 0) break;
    t += lo;
  }
  return TrimBlanks(t);
}

}  // namespace

std::vector<BoardRecord> BoardRecords() {
  std::vector<BoardRecord> out;
  for (auto& r : plat().BoardRecords()) out.push_back({r.first, r.second});
  return out;
}

Text ProcessorName() {
  char brand[49] = {};
#if defined(__i386__) || defined(__x86_64__)
  for (unsigned leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
    unsigned r[4] = {0, 0, 0, 0};
    // __get_cpuid checks that the extended leaf exists before executing it.
    if (!__get_cpuid(leaf, &r[0], &r[1], &r[2], &r[3])) break;
    std::memcpy(brand + 16 * (leaf - 0x80000002u), r, 16);  // a, b, c, d, each little-endian
  }
#endif
  return Text(brand);
}

bool ParseIdentify(const uint8_t* block, size_t size, DiskRecord& record) {
  if (!block || size < 512) return false;
  record.model = IdentifyText(block + 54, 24);        // model number 54-93, first 24
  record.serial_tail = IdentifyText(block + 32, 8);   // serial number 20-39, last 8
  record.firmware = IdentifyText(block + 46, 8);      // firmware revision 46-53
  return true;
}

bool DiskModel(int n, DiskRecord& record) {
  Bytes block;
  int answer = plat().DiskIdentify(n, block);
  if (answer == 1) return false;  // no such disk, or no right to open it
  if (answer == 0 && ParseIdentify(block.data(), block.size(), record)) return true;
  Text vendor, product;
  if (!plat().DiskDeviceProperty(n, vendor, product)) return false;
  vendor = TrimBlanks(vendor);
  product = TrimBlanks(product);
  Text model = vendor.empty() ? product : product.empty() ? vendor : vendor + " " + product;
  if (model.empty()) return false;
  record.model = model;
  record.serial_tail.clear();
  record.firmware.clear();
  return true;
}

}  // namespace mv
