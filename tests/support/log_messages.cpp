#include "tests/support/log_messages.h"

namespace mv::test {

std::vector<std::string> LogMessages(const std::string& log_text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < log_text.size()) {
    size_t end = log_text.find("\r\n", at);
    if (end == std::string::npos) end = log_text.size();
    const std::string line = log_text.substr(at, end - at);
    at = end + 2;
    if (line.empty()) continue;
    const size_t gap = line.find("     ");
    out.push_back(gap == std::string::npos ? line : line.substr(gap + 5));
  }
  return out;
}

}  // namespace mv::test
