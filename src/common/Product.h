// The product's identity: the two class identifiers, the registry paths and
// names that installed systems depend on, and the module-wide state (the
// count that decides whether the DLL may unload, and the module instance).
// Everything here is fixed for the product's life once installed.
#pragma once

#include <windows.h>

namespace velmora {

// {2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}: the filter class, served by DllGetClassObject.
inline constexpr CLSID CLSID_VelmoraFilter = {
    0x2BD5D05B, 0xF921, 0x4FB6, {0xB4, 0xD1, 0x2F, 0x5C, 0xEE, 0x09, 0x47, 0x1D}};

// {7F0BCA34-AF00-403A-B243-23F2837DF0B1}: the persistent handler; only ever registered.
inline constexpr CLSID CLSID_VelmoraPersistentHandler = {
    0x7F0BCA34, 0xAF00, 0x403A, {0xB2, 0x43, 0x23, 0xF2, 0x83, 0x7D, 0xF0, 0xB1}};

// The product key under HKEY_LOCAL_MACHINE, and the name the log and the
// filter class carry.
inline constexpr const wchar_t* kProductKeyPath = L"SOFTWARE\\Corvantis\\Velmora";
inline constexpr const wchar_t* kProductDisplayName = L"Corvantis Velmora";

// Below a persistent handler's class key: the IFilter add-in (IID_IFilter).
inline constexpr const wchar_t* kFilterAddinKey =
    L"PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}";

// Live filter objects + live class objects + outstanding LockServer(TRUE)
// calls. Changed only with InterlockedIncrement / InterlockedDecrement.
inline volatile LONG ModuleCount = 0;

// The handle the entry point was called with; registration reads the DLL's path from it.
inline HINSTANCE moduleInstance = nullptr;

}  // namespace velmora
