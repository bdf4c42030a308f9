// Fuzzes the WIM tool's XML as it arrives: UTF-16LE bytes (any length, odd
// ones too, with or without a byte-order mark, unpaired surrogates,
// characters outside GBK) through the conversion and the reader. The text
// never holds a zero, and every row is whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/wim_info.h"
#include "platform/fake/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static mv::FakePlatform* fake = [] {
    auto* f = new mv::FakePlatform;
    mv::SetPlatform(f);
    return f;
  }();
  (void)fake;
  const mv::Bytes bytes(data, data + size);
  const std::string text = mv::WideXmlToText(bytes);
  if (text.find('\0') != std::string::npos) abort();
  if (text.size() > size) abort();  // at most two GBK bytes per UTF-16 unit
  std::vector<mv::WimImageRow> rows;
  const bool ok = mv::ReadWimImages(text, rows);
  // Rows only where a size value stands between its tags.
  if (ok && (text.find("<TOTALBYTES>") == std::string::npos || text.find("</TOTALBYTES>") == std::string::npos)) {
    abort();
  }
  for (const mv::WimImageRow& r : rows) {
    if (r.name.empty() || r.description.empty()) abort();
    if (r.size.size() < 7 || r.size.compare(r.size.size() - 3, 3, " GB") != 0) abort();
  }
  return 0;
}
