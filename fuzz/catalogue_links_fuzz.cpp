// Fuzz target: the catalogue page reader on arbitrary bytes. Every link it
// returns must be a bounded web address holding the choice marker.
#include <cstddef>
#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <string>

#include "ui/catalogue_links.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the page address the links resolve against.
  static const char* const kPages[] = {"http://127.0.0.1:18080/sys_img/mbr.html", "http://h", "https://h/a/b/?q#f",
                                       ""};
  if (size == 0) return 0;
  const std::string page = kPages[data[0] % 4];
  const std::string html(reinterpret_cast<const char*>(data + 1), size - 1);
  const mv::ui::PageCharset charset = mv::ui::DetectPageCharset(html);
  for (mv::ui::PageCharset cs : {charset, mv::ui::PageCharset::kGbk}) {
    for (const mv::ui::PageLink& link : mv::ui::ExtractChoiceLinks(html, cs, page)) {
      if (link.url.find("?type=") == std::string::npos) abort();
      if (link.url.size() > mv::ui::kMaxLinkUrl) abort();
      if (link.name.size() > mv::ui::kMaxLinkName) abort();
      std::string scheme = link.url.substr(0, 5);
      for (char& c : scheme) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      if (scheme != "http:" && scheme != "https") abort();
    }
  }
  mv::ui::ResolveAddress(page, html.substr(0, 256));
  return 0;
}
