// Fuzzes the PE page reader: any page the service host (or whatever answers
// in its place) sends gives a link, a file name and an MD5 that each stop at
// their closing "&", and a link that is an address of the page's own kind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/pe_prepare.h"
#include "fuzz/gbk_chars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const mv::PeLinks pe = mv::ParsePePage(page);
  if (!pe.url.empty() && pe.url.compare(0, 4, "http") != 0) abort();
  for (const std::string* v : {&pe.url, &pe.file_name, &pe.md5}) {
    if (HasGbkChar(*v, '&')) abort();
    if (v->size() > page.size()) abort();
  }
  // A value comes from the page itself.
  if (!pe.file_name.empty() && page.find("&filename=" + pe.file_name + "&") == std::string::npos) abort();
  if (!pe.md5.empty() && page.find("&md5=" + pe.md5 + "&") == std::string::npos) abort();
  return 0;
}
