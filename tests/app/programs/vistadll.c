/* A library that needs Windows Vista: it imports GetTickCount64. Its export
   directory names it "vistalib.dll", the name the import check's exception
   list goes by. Declared by hand because the XP headers hide it. */
#include <windows.h>

__declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);

__declspec(dllexport) ULONGLONG VistaTicks(void) { return GetTickCount64(); }
