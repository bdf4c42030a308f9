/* A library that should never be loaded by a bare name: the library tests
   put copies of it where the loader must not look (the current directory,
   the folder of a library loaded earlier). */
#include <windows.h>

__declspec(dllexport) int PlantedLibrary(void) { return 7; }
