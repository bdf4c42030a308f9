// Fuzzes the catalogue pane's navigation handler, the one place where a
// page's link address becomes the install's choice: whatever the address
// (percent escapes, UTF-8 or not, "?type=" anywhere, "&" pieces missing),
// the file name is one the work directory can hold, nothing but a web
// address reaches the shell, and the browser follows only plain addresses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/state.h"
#include "core/text.h"
#include "core/web_address.h"
#include "fuzz/gbk_chars.h"
#include "platform/fake/fake_platform.h"
#include "ui/image_choice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static mv::FakePlatform* fake = [] {
    auto* f = new mv::FakePlatform;
    mv::SetPlatform(f);
    f->AddDrive('D');
    mv::SetWorkDir("D:\\MV_OSR\\");
    return f;
  }();
  const std::string url(reinterpret_cast<const char*>(data), size);
  const size_t opened = fake->ShellOpens().size();

  const bool follow = mv::OnCatalogueNavigate(url);
  if (follow != (url.find("?type=") == std::string::npos)) abort();
  const mv::ImageChoice& c = mv::Choice();
  if (!c.local && !c.file_name.empty() && !mv::SafeWorkFileName(c.file_name)) abort();
  if (HasGbkChar(c.md5, '&')) abort();
  const auto opens = fake->ShellOpens();
  if (opens.size() > opened + 1) abort();
  if (opens.size() > opened && !mv::IsWebAddress(opens.back())) abort();
  fake->ClearDialogs();

  // The decoder on its own: without UTF-8 it never grows the text.
  if (mv::UrlDecode(url, false).size() > url.size()) abort();
  mv::UrlDecode(url, true);
  return 0;
}
