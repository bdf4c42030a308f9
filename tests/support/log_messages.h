// The messages of a run log (its text as the program writes it: one line per
// entry, CR LF between them, a timestamp and five spaces before each
// message), without their timestamps.
#pragma once

#include <string>
#include <vector>

namespace mv::test {

std::vector<std::string> LogMessages(const std::string& log_text);

}  // namespace mv::test
