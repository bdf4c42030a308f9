/* A program that imports GetTickCount64, which Windows XP lacks: the import
   check must reject it. Declared by hand because the XP headers hide it. */
#include <windows.h>

__declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);

int main(void) { return (int)(GetTickCount64() & 1); }
