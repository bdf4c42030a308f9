// Reading the driver INF files that the driver backup follows on Windows
// XP/2003: sections, values, and the directory ids of DestinationDirs.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

// The lines of one section of an INF file's bytes (GBK, or UTF-16LE with its
// byte-order mark): comments removed, blank lines dropped, lines untrimmed.
// The section name is found exactly first, then regardless of case. A
// section runs to the next section header or to the end of the file; a
// missing section gives no lines.
std::vector<Text> InfSectionLines(const Bytes& file, const Text& section);
// The same for a file on disk (no lines when it cannot be read).
std::vector<Text> ReadInfSection(const Text& inf_path, const Text& section);
// The value of key= in the section (cleaned), empty when missing.
Text InfValue(const Text& inf_path, const Text& section, const Text& key);

// The catalog an INF names in its Version section: the key decorated for
// the machine ("CatalogFile.NTamd64" on 64-bit Windows, "CatalogFile.NTx86"
// on 32-bit) first, then "CatalogFile.NT", then plain "CatalogFile"; empty
// when it names none.
Text InfCatalogFile(const Text& inf_path, bool x64);

// True when a name from an INF (or the registry) is one plain file name that
// stays in the folder it is joined to: no "\", "/" or ":", not only dots and
// blanks (Windows drops trailing ones, so ".. " is ".."), no control
// characters. Double-byte characters are taken whole.
bool IsPlainFileName(const Text& name);

// Cut at the first ";", tabs to spaces, trimmed.
Text CleanInfValue(const Text& value);

// The folder (ending with "\") of a DestinationDirs directory id; empty for
// an id the backup does not know.
Text ResolveDirectoryId(long id);
// A DestinationDirs value: "id" or "id,subfolder" (a comment after ";").
Text ResolveDestination(const Text& value);

}  // namespace mv
