// File-name rules shared by the platform implementations: Windows compares
// names without regard to ASCII case, and GBK double-byte characters must be
// kept whole (their second byte may look like a letter or a backslash).
#pragma once

#include <string>

namespace mv {

// Lower-cases ASCII letters, leaving both bytes of double-byte characters alone.
std::string FoldCase(const std::string& s);
bool SameNameNoCase(const std::string& a, const std::string& b);
// Windows wildcards: '*' any run, '?' one character; no case. "*.*" matches
// names without a dot too, and a final "." matches a name without extension.
bool WildcardMatch(const std::string& pattern, const std::string& name);
// Position of the last "\" or "/" that is not the second byte of a
// double-byte character; npos when there is none.
size_t LastSeparator(const std::string& path);
// Byte length (1 or 2) of the character at position i.
size_t GbkCharLength(const std::string& s, size_t i);

}  // namespace mv
