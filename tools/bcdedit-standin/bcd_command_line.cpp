// One run of the stand-in as a program: its command line split as the
// system's runtime splits it, and the command run against the store file
// beside the program.
#include "bcd_standin.h"

namespace bcdstandin {

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') ++slashes, ++i;
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

int RunWithStoreFile(const std::string& store_path, char system_drive, const std::vector<std::string>& args,
                     std::string& out) {
  Store store;
  bool seeded = false;
  if (!LoadStore(store_path, system_drive, store, seeded)) {
    out += "The boot configuration data store could not be opened.\r\n";
    out += "The store file is damaged.\r\n";
    return 1;
  }
  bool changed = false;
  std::string text;
  const int rc = Execute(store, args, text, changed);
  // A store seeded on first use is kept, so that later runs see the same ids.
  if ((changed || seeded) && !SaveStore(store_path, store)) {
    out += "The boot configuration data store could not be opened.\r\n";
    out += "Access is denied.\r\n";
    return 1;
  }
  out += text;
  return rc;
}

std::string StorePathBeside(const std::string& exe_path) {
  const size_t slash = exe_path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : exe_path.substr(0, slash + 1)) + "bcdstore.txt";
}

}  // namespace bcdstandin
