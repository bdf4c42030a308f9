// Profile (INI) text with the rules of the Windows profile calls, worked on
// the file's own bytes: section and key names match without regard to case,
// the first section of a name counts, blanks around names and values go,
// a value in matching quotes loses them, other keys, sections and comments
// stay, CR LF or bare LF line ends are read. The text is GBK; double-byte
// characters are kept whole.
//
// The adapter writes profile files through these instead of the system's
// profile calls, which store text in the machine's own ANSI code page (a
// Chinese value turns to "?" on a Windows that does not use code page 936).
#pragma once

#include <string>

namespace mv {

// The value of key in section; false when either is missing.
bool ProfileLookup(const std::string& content, const std::string& section, const std::string& key,
                   std::string& value);
// The text with key=value set in section: an existing key keeps its place
// and spelling, a new key goes after the section's last key line, a new
// section goes to the end. Lines end in CR LF.
std::string ProfileUpdate(const std::string& content, const std::string& section, const std::string& key,
                          const std::string& value);

}  // namespace mv
