// libFuzzer target for the INF reader: any bytes as an INF file (GBK or
// UTF-16 with its mark), a section name taken from the input's first line,
// and the driver backup's walk over what comes back (values, CopyFiles
// lists, DestinationDirs). It must never crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "backup/inf.h"
#include "platform/fake/fake_platform.h"

namespace {

mv::FakePlatform& Fake() {
  static mv::FakePlatform* f = [] {
    auto* p = new mv::FakePlatform;
    mv::SetPlatform(p);
    return p;
  }();
  return *f;
}

void Walk(const std::vector<mv::Text>& lines, const mv::Bytes& file, int depth) {
  for (const mv::Text& line : lines) {
    if (line.find("\r\n") != mv::Text::npos) std::abort();  // lines are split at every line break
    size_t eq = line.find('=');
    if (eq == mv::Text::npos) continue;
    const mv::Text value = mv::CleanInfValue(line.substr(eq + 1));
    mv::ResolveDestination(line.substr(eq + 1));
    if (depth > 0) continue;
    // A CopyFiles list: each part names a further section.
    size_t from = 0;
    for (int parts = 0; parts < 8 && from <= value.size(); ++parts) {
      size_t comma = value.find(',', from);
      const mv::Text part = mv::CleanInfValue(value.substr(from, comma == mv::Text::npos ? mv::Text::npos : comma - from));
      Walk(mv::InfSectionLines(file, part), file, depth + 1);
      if (comma == mv::Text::npos) break;
      from = comma + 1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fake();
  size_t nl = 0;
  while (nl < size && nl < 32 && data[nl] != '\n') ++nl;
  const mv::Text section(reinterpret_cast<const char*>(data), nl);
  const mv::Bytes file(data + (nl < size ? nl + 1 : size), data + size);
  Walk(mv::InfSectionLines(file, section), file, 0);
  Walk(mv::InfSectionLines(file, "DestinationDirs"), file, 1);
  return 0;
}
