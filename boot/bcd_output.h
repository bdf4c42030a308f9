// Reading what the boot configuration tool prints. The tool speaks the
// system's language: a Chinese Windows labels an entry's id "标识符" where an
// English one says "identifier", and reports a created entry in its own
// words. So nothing here depends on the words: only on braced ids, on the
// listing's layout (blocks separated by blank lines, one element a line,
// label then value) and on the values, which are the same in every language.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

// True for a braced GUID: "{" 8-4-4-4-12 hexadecimal digits "}".
bool IsBracedGuid(const Text& text);

// The id a create command reports: the first braced GUID in its output,
// whatever the words around it; "{}" when there is none.
Text CreatedEntryId(const Text& output);

// One entry of a listing: its id (the first braced word of its block, as
// the listing shows it: "{bootmgr}", "{current}" or a GUID) and the values
// of its elements, trimmed, in order (a value continued on the next line,
// such as a display order of several ids, gives one value a line).
struct BcdListingEntry {
  Text id;
  std::vector<Text> values;
};
std::vector<BcdListingEntry> ReadBcdListing(const Text& listing);

// The running system's loader entry: among the loaders whose device is the
// system drive's partition ("partition=C:") and whose path is a winload, the
// one listed as "{current}", else the first; failing those "{current}" when
// the listing shows such an entry at all; empty otherwise.
Text RunningEntryId(const Text& listing, char system_drive_letter);

// True when the boot manager's entry ("{bootmgr}", else the first entry)
// names an ".efi" file: the machine started through UEFI.
bool ListingShowsEfiManager(const Text& listing);

// True when the listing shows a boot manager entry: the tool read the store.
bool ListingHasBootManager(const Text& listing);

}  // namespace mv
