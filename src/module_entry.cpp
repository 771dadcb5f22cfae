// The library's module entry. Only Windows has one; elsewhere the runtime's own start-up
// is all the library needs (the log output is initialised at compile time).
#if defined(_WIN32)
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  // The library's only per-thread state (the log's last converted second) needs no setting up
  // or cleaning, so thread attach and detach calls are not wanted.
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
