/* Carries tick64.exe in its resources; imports nothing new itself. */
#include <windows.h>

int main(void) { return FindResourceA(NULL, "TOOL_TICK64", (LPCSTR)RT_RCDATA) ? 0 : 1; }
