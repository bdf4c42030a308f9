// libFuzzer target for the readers of the boot configuration tool's output:
// any bytes as a create command's answer and as a listing (in any language),
// the first byte naming the system drive. They must never crash, and what
// they return must come from the input: an id is a braced word of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "boot/bcd_output.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Braced(const mv::Text& id) { return id.size() >= 2 && id.front() == '{' && id.back() == '}'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char letter = static_cast<char>('C' + data[0] % 24);
  const mv::Text text(reinterpret_cast<const char*>(data + 1), size - 1);

  const mv::Text created = mv::CreatedEntryId(text);
  Check(created == "{}" || (mv::IsBracedGuid(created) && text.find(created) != mv::Text::npos));

  for (const mv::BcdListingEntry& e : mv::ReadBcdListing(text)) {
    Check(Braced(e.id) && text.find(e.id) != mv::Text::npos);
    for (const mv::Text& v : e.values) Check(v.find('\n') == mv::Text::npos);
  }
  const mv::Text running = mv::RunningEntryId(text, letter);
  Check(running.empty() || (Braced(running) && text.find(running) != mv::Text::npos));
  mv::ListingShowsEfiManager(text);
  mv::ListingHasBootManager(text);
  return 0;
}
