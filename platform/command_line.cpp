// Command lines for direct starts: see command_line.h.
#include "platform/command_line.h"

#include "platform/names.h"

namespace mv {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::string QuoteArgument(const std::string& arg) {
  bool plain = !arg.empty();
  for (char c : arg) {
    if (IsBlank(c) || c == '"' || c == '\n' || c == '\v') plain = false;
  }
  if (plain) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (size_t i = 0; i < arg.size();) {
    const size_t n = GbkCharLength(arg, i);
    if (n == 1 && arg[i] == '\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote double, and the quote gets its own.
      const bool quote = n == 1 && arg[i] == '"';
      out.append(quote ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      out.append(arg, i, n);
    }
    i += n;
  }
  // Backslashes before the closing quote double too.
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = "\"" + program + "\"";
  for (const std::string& a : args) line += " " + QuoteArgument(a);
  return line;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  // The program: up to the closing quote, or to the first blank.
  std::string program;
  if (i < line.size() && line[i] == '"') {
    const size_t close = line.find('"', 1);
    program = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    i = close == std::string::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !IsBlank(line[i])) i += GbkCharLength(line, i);
    program = line.substr(0, i);
  }
  out.push_back(program);
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      const size_t n = GbkCharLength(line, i);
      if (n == 1 && line[i] == '\\') {
        size_t count = 0;
        while (i < line.size() && line[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < line.size() && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (n == 1 && line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';  // "" inside quotes: a quote, still quoted
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.append(line, i, n);
      i += n;
    }
    out.push_back(arg);
  }
  return out;
}

}  // namespace mv
