#include "boot/bcd_output.h"

#include "core/text.h"

namespace mv {
namespace {

const char kBootManagerId[] = "{bootmgr}";
const char kCurrentId[] = "{current}";

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool EndsWithNoCase(const Text& text, const Text& tail) {
  return text.size() >= tail.size() && UpperAscii(text.substr(text.size() - tail.size())) == UpperAscii(tail);
}

// The first "{...}" word of a text (empty when none).
Text FirstBracedWord(const Text& text) {
  const size_t open = text.find('{');
  if (open == Text::npos) return Text();
  const size_t close = text.find('}', open);
  if (close == Text::npos) return Text();
  return text.substr(open, close - open + 1);
}

std::vector<Text> Lines(const Text& text) {
  std::vector<Text> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == Text::npos) end = text.size();
    Text line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

bool Blank(const Text& line) { return line.find_first_not_of(" \t") == Text::npos; }
bool Dashes(const Text& line) { return line.size() >= 3 && line.find_first_not_of('-') == Text::npos; }

// The value of an element line: what follows the label and its padding (a
// continuation line, which starts with blanks, is all value). Labels are
// single words in every language; a GBK character never holds a blank byte.
Text ValueOf(const Text& line) {
  size_t at = 0;
  if (line[0] != ' ' && line[0] != '\t') at = line.find_first_of(" \t");
  if (at == Text::npos) return Text();
  return TrimText(line.substr(at));
}

const BcdListingEntry* Manager(const std::vector<BcdListingEntry>& entries) {
  for (const BcdListingEntry& e : entries)
    if (UpperAscii(e.id) == UpperAscii(kBootManagerId)) return &e;
  for (const BcdListingEntry& e : entries)
    if (!e.id.empty()) return &e;
  return nullptr;
}

}  // namespace

bool IsBracedGuid(const Text& text) {
  static const int kGroups[5] = {8, 4, 4, 4, 12};
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  size_t at = 1;
  for (int g = 0; g < 5; ++g) {
    for (int i = 0; i < kGroups[g]; ++i, ++at)
      if (!IsHex(text[at])) return false;
    if (g < 4 && text[at++] != '-') return false;
  }
  return at == 37;
}

Text CreatedEntryId(const Text& output) {
  for (size_t open = output.find('{'); open != Text::npos; open = output.find('{', open + 1)) {
    const Text word = output.substr(open, 38);
    if (IsBracedGuid(word)) return word;
  }
  return "{}";
}

std::vector<BcdListingEntry> ReadBcdListing(const Text& listing) {
  std::vector<BcdListingEntry> out;
  BcdListingEntry entry;
  bool open = false;
  auto close = [&]() {
    if (open && !entry.id.empty()) out.push_back(entry);
    entry = BcdListingEntry();
    open = false;
  };
  for (const Text& line : Lines(listing)) {
    if (Blank(line)) {
      close();
      continue;
    }
    open = true;
    if (Dashes(line)) continue;  // under the entry's heading
    if (entry.id.empty()) {
      // The heading above the dashes holds no braces; the first braced word
      // is the identifier's value, whatever its label.
      entry.id = FirstBracedWord(line);
      if (entry.id.empty()) continue;
    }
    entry.values.push_back(ValueOf(line));
  }
  close();
  return out;
}

Text RunningEntryId(const Text& listing, char letter) {
  const Text device = UpperAscii(Text("partition=") + letter + ":");
  const std::vector<BcdListingEntry> entries = ReadBcdListing(listing);
  Text first, current;
  for (const BcdListingEntry& e : entries) {
    if (UpperAscii(e.id) == UpperAscii(kCurrentId)) current = e.id;
    bool on_drive = false, winload = false;
    for (const Text& v : e.values) {
      if (UpperAscii(v) == device) on_drive = true;
      if (EndsWithNoCase(v, "\\winload.exe") || EndsWithNoCase(v, "\\winload.efi")) winload = true;
    }
    if (!on_drive || !winload) continue;
    if (UpperAscii(e.id) == UpperAscii(kCurrentId)) return e.id;
    if (first.empty()) first = e.id;
  }
  return first.empty() ? current : first;
}

bool ListingShowsEfiManager(const Text& listing) {
  const std::vector<BcdListingEntry> entries = ReadBcdListing(listing);
  const BcdListingEntry* manager = Manager(entries);
  if (!manager) return false;
  for (const Text& v : manager->values)
    if (TextFind(v, ".EFI", 1, true) != -1) return true;
  return false;
}

bool ListingHasBootManager(const Text& listing) {
  for (const BcdListingEntry& e : ReadBcdListing(listing))
    if (UpperAscii(e.id) == UpperAscii(kBootManagerId)) return true;
  return false;
}

}  // namespace mv
