/* A program that delay-loads SHGetKnownFolderPath, which Windows XP lacks:
   the import check must find the delay-load import and reject it. Declared
   by hand because the XP headers hide it. */
#include <windows.h>

__declspec(dllimport) HRESULT WINAPI SHGetKnownFolderPath(const GUID* id, DWORD flags, HANDLE token, PWSTR* path);

int main(int argc, char** argv) {
  (void)argv;
  /* Only called when asked: the check reads the file, it does not run it. */
  if (argc > 5) {
    PWSTR path = NULL;
    return (int)SHGetKnownFolderPath(NULL, 0, NULL, &path);
  }
  return 0;
}
