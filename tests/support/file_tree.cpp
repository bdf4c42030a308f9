#include "tests/support/file_tree.h"

#include <vector>

namespace mv::test {
namespace {

void Walk(Platform& p, const std::u16string& folder, const std::u16string& rel, const ReadWide& read,
          FileTreeMap& out) {
  std::vector<WideEntry> entries;
  if (!p.ListFolderWide(folder, entries)) return;
  for (const WideEntry& e : entries) {
    const std::u16string r = rel.empty() ? e.name : rel + u"\\" + e.name;
    if (e.is_directory) {
      out[r + u"\\"] = "<dir>";
      Walk(p, folder + u"\\" + e.name, r, read, out);
    } else {
      out[r] = read(folder + u"\\" + e.name);
    }
  }
}

}  // namespace

FileTreeMap FileTree(Platform& p, const std::u16string& folder, const ReadWide& read) {
  FileTreeMap out;
  Walk(p, folder, u"", read, out);
  return out;
}

}  // namespace mv::test
