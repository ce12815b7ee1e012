// Entry point of qzib32.dll. The library's state is set up and torn down by the run-time's
// constructors and destructors of BusLibrary (load: the client factory starts the socket
// layer; unload: every device is closed, then the socket layer is stopped), so the entry
// point accepts every notification and does nothing else.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
