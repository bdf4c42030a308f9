// Fuzzes the WIM XML reader of the image index window: any text (what the
// wimlib tool wrote, converted to GBK) must give rows that stay inside their
// value lists, sizes in their one format, and no rows without a size value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/wim_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string xml(reinterpret_cast<const char*>(data), size);
  std::vector<mv::WimImageRow> rows;
  int passes = 0;
  const bool ok = mv::ReadWimImages(xml, rows, [&] { ++passes; });
  if (!ok && !rows.empty()) abort();
  if (ok && xml.find("<TOTALBYTES>") == std::string::npos) abort();
  for (const mv::WimImageRow& r : rows) {
    const std::string& s = r.size;
    // "<digits>.<two digits> GB"
    if (s.size() < 7 || s.compare(s.size() - 3, 3, " GB") != 0 || s[s.size() - 6] != '.') abort();
    if (r.name.empty() || r.description.empty()) abort();  // a missing value reads "Unknown"
  }
  // The extraction on its own, with tags taken from the input's start.
  if (size > 4) {
    std::vector<std::string> out;
    const std::string start(xml, 0, 2), end(xml, 2, 2);
    const int n = mv::ExtractBetween(xml.substr(4), start, end, out, (data[0] & 1) != 0);
    if (n != static_cast<int>(out.size())) abort();
    for (const std::string& v : out) {
      if (v.empty() || v.front() == ' ' || v.back() == ' ') abort();
    }
  }
  mv::GibibyteText(xml);
  return 0;
}
