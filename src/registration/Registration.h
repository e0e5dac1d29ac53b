// The self-registration steps behind DllRegisterServer and DllUnregisterServer:
// the filter's COM class, its persistent handler and the file-type entries,
// all under HKEY_CLASSES_ROOT. Each step returns a Win32 error code.
#pragma once

#include "common/Product.h"
#include "registration/FileTypes.h"

#include <windows.h>

#include <string>

namespace velmora {

inline constexpr const wchar_t* kFilterDescription = kProductDisplayName;
inline constexpr const wchar_t* kPersistentHandlerDescription = L"Corvantis Velmora Persistent Handler";
inline constexpr const wchar_t* kThreadingModel = L"Both";

// DllRegisterServer: the COM class, the persistent handler and the file
// types, then the search hosts. S_OK, or SELFREG_E_CLASS when a step of the
// first three failed.
HRESULT RegisterServer();
// DllUnregisterServer: the search hosts, then the entries above. S_OK, or
// S_FALSE when something to delete was missing.
HRESULT UnregisterServer();

// CLSID\<filter class> (description) and its InprocServer32 (module path, threading model).
LONG RegisterFilterClass(const std::wstring& filterClass, const std::wstring& description,
                         const std::wstring& modulePath, const std::wstring& threadingModel);

// CLSID\<handler> (description), its PersistentAddinsRegistered key and the
// IFilter entry below it that names the filter class.
LONG RegisterPersistentHandler(const std::wstring& persistentHandler, const std::wstring& description,
                               const std::wstring& filterClass);

// The value on <extension>\PersistentHandler that keeps the handler the file
// type named before Velmora took it over. It lives on the file-type key, which
// both registry views share, so the two DLLs keep one memory between them.
inline constexpr const wchar_t* kPreviousHandlerValue = L"VelmoraPreviousHandler";

// <extension> (key only, left as found) and <extension>\PersistentHandler for
// every row. A handler of another product found there is remembered first
// (one that is Velmora's keeps what was remembered before); a row whose
// handler cannot be remembered is not taken over. Every row is attempted; the
// result is the first failure, or 0.
LONG RegisterExtensions(const std::wstring& persistentHandler, const FileType* table, size_t count);

// For every row whose <extension>\PersistentHandler still names the persistent
// handler: puts a remembered handler back and forgets it, or, with none
// remembered, deletes the key. A key that names another handler keeps it, and
// loses only Velmora's memory. The extension keys stay. Every row is
// attempted; the result is the last failure (a key that is missing or names
// another handler), or 0.
LONG UnregisterExtensions(const std::wstring& persistentHandler, const FileType* table, size_t count);

// Deletes CLSID\<class> with all its subkeys.
LONG DeleteClassKey(const std::wstring& classString);

}  // namespace velmora
