// Console wrapper of the bcdedit stand-in (see bcd_standin.h).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bcd_standin.h"

// The mark of every stand-in the program may carry: the program finds it in
// this file's bytes and never takes the file for the system's tool (the build
// checks that it is there).
extern "C" __attribute__((used)) const char mv_standin_mark[] =
    "MV_OSR STAND-IN for tools\\bcdedit.exe: a test double, not the system's boot configuration tool";

int main(int argc, char** argv) {
  std::string store_path;
  if (const char* env = std::getenv("MV_BCDSTORE"); env && *env) {
    store_path = env;
  } else {
    char exe[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe - 1);
    store_path = bcdstandin::StorePathBeside(exe);
  }
  char drive = 'C';
  if (const char* sd = std::getenv("SystemDrive"); sd && *sd) drive = sd[0];

  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string out;
  const int rc = bcdstandin::RunWithStoreFile(store_path, drive, args, out);
  // The text already carries CRLF line ends: write it untranslated.
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return rc;
}
