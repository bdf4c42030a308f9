/* Prints each argument it was given on a line of its own, as the UTF-16
   code units in four hex digits each: the contract's direct-start case reads
   back exactly what arrived. The arguments are those of the C runtime (what
   a program's wmain gets, as the WIM tool's does); where the system's
   parser (CommandLineToArgvW) sees them otherwise, a line "PARSERS DIFFER"
   comes last. */
#include <windows.h>
#include <shellapi.h>
#include <wchar.h>

static void Put(HANDLE out, const char* text, DWORD size) {
  DWORD put = 0;
  WriteFile(out, text, size, &put, NULL);
}

int wmain(int argc, wchar_t** argv) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  static const char kHex[] = "0123456789abcdef";
  int shell_count = 0;
  LPWSTR* shell = CommandLineToArgvW(GetCommandLineW(), &shell_count);
  int same = shell != NULL && shell_count == argc;
  for (int i = 1; i < argc; ++i) {
    for (const wchar_t* c = argv[i]; *c; ++c) {
      char unit[4] = {kHex[(*c >> 12) & 15], kHex[(*c >> 8) & 15], kHex[(*c >> 4) & 15], kHex[*c & 15]};
      Put(out, unit, 4);
    }
    Put(out, "\r\n", 2);
    if (same && wcscmp(argv[i], shell[i]) != 0) same = 0;
  }
  if (!same) Put(out, "PARSERS DIFFER\r\n", 16);
  LocalFree(shell);
  return 0;
}
