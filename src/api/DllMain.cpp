#include <windows.h>

// The library has nothing to set up or tear down when it is loaded or
// unloaded, by a process or by a thread.
BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}
