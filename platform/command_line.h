// Command lines of programs started directly, without a command interpreter:
// every argument is quoted for the program's own parser (the rules of
// CommandLineToArgvW, which the C runtimes share for everything written
// here), so that blanks, quotes, "%VAR%", "&" and "^" arrive as they were
// given. Texts are GBK: a double-byte character is kept whole, so a trail
// byte that looks like "\" never counts as one.
#pragma once

#include <string>
#include <vector>

namespace mv {

// One argument as it must stand in a command line ("" for an empty one).
std::string QuoteArgument(const std::string& arg);
// The program (in quotes: a path never holds one) and its quoted arguments.
std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args);
// A command line taken apart by the same rules: the program first (quotes
// only delimit it), then each argument.
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace mv
