/* A program that imports only what Windows XP has: the import check passes it. */
#include <windows.h>

int main(void) { return (int)(GetTickCount() & 1); }
