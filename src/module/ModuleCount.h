// The module-wide state: the count that decides whether the DLL may unload,
// and the module instance handle recorded by the entry point.
#pragma once

#include <windows.h>

namespace velmora {

// Live filter objects + live class objects + outstanding LockServer(TRUE)
// calls. Changed only with InterlockedIncrement / InterlockedDecrement.
inline volatile LONG ModuleCount = 0;

// The handle the entry point was called with; registration reads the DLL's path from it.
inline HINSTANCE moduleInstance = nullptr;

}  // namespace velmora
