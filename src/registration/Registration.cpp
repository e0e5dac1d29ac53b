// DllRegisterServer and DllUnregisterServer: the COM class, the persistent
// handler and the file types under HKEY_CLASSES_ROOT, then the search hosts
// that keep their own filter lists.
#include "registration/Registration.h"

#include "common/Registry.h"
#include "common/Win32.h"
#include "common/Product.h"
#include "registration/RegistryWrites.h"
#include "registration/SearchHosts.h"

#include <objbase.h>
#include <olectl.h>

#include <iterator>

namespace velmora {

namespace {

constexpr DWORD kLongestModulePath = 32768;

std::wstring ClassKey(const std::wstring& classString) { return L"CLSID\\" + classString; }

// The identifier in registry form ("{XXXXXXXX-...}", upper case).
HRESULT ClassString(const CLSID& clsid, std::wstring& text) {
    wchar_t* raw = nullptr;
    VELMORA_RETURN_IF_FAILED(StringFromCLSID(clsid, &raw));
    const CoTaskMemPtr<wchar_t> owned(raw);
    text = owned.get();
    return S_OK;
}

// The DLL's full path; grows the buffer instead of registering a cut path.
bool ReadModulePath(std::wstring& path) {
    for (DWORD capacity = MAX_PATH; capacity <= kLongestModulePath; capacity *= 2) {
        path.assign(capacity, L'\0');
        const DWORD length = GetModuleFileNameW(moduleInstance, path.data(), capacity);
        if (length == 0) return false;
        if (length < capacity) {
            path.resize(length);
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT RegisterServer() {
    std::wstring modulePath;
    if (!ReadModulePath(modulePath)) return SELFREG_E_CLASS;
    std::wstring filterClass;
    std::wstring persistentHandler;
    if (FAILED(ClassString(CLSID_VelmoraFilter, filterClass)) ||
        FAILED(ClassString(CLSID_VelmoraPersistentHandler, persistentHandler))) {
        return SELFREG_E_CLASS;
    }

    if (RegisterFilterClass(filterClass, kFilterDescription, modulePath, kThreadingModel) != ERROR_SUCCESS ||
        RegisterPersistentHandler(persistentHandler, kPersistentHandlerDescription, filterClass) != ERROR_SUCCESS ||
        RegisterExtensions(persistentHandler, kFileTypes, kFileTypeCount) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }

    // The search hosts' outcomes are logged where they happen and never change
    // the result: Windows search already finds the filter through the entries above.
    UpdateSharePointRegistration(true, &CLSID_VelmoraFilter, kFileTypes, kFileTypeCount, kGeneralFileTypes);
    RegisterSqlFullTextFilter(filterClass, modulePath, kThreadingModel, kFileTypes, kFileTypeCount);
    return S_OK;
}

HRESULT UnregisterServer() {
    UpdateSharePointRegistration(false, &CLSID_VelmoraFilter, kFileTypes, kFileTypeCount, kTiffFileTypes);

    std::wstring filterClass;
    VELMORA_RETURN_IF_FAILED(ClassString(CLSID_VelmoraFilter, filterClass));
    std::wstring persistentHandler;
    if (FAILED(ClassString(CLSID_VelmoraPersistentHandler, persistentHandler))) return SELFREG_E_CLASS;

    UpdateSharePointRegistration(false, &CLSID_VelmoraFilter, kFileTypes, kFileTypeCount, kGeneralFileTypes);
    UnregisterSqlFullTextFilter(filterClass, kFileTypes, kFileTypeCount);

    const LONG extensions = UnregisterExtensions(persistentHandler, kFileTypes, kFileTypeCount);
    const LONG handler = DeleteClassKey(persistentHandler);
    const LONG filter = DeleteClassKey(filterClass);
    return extensions == ERROR_SUCCESS && handler == ERROR_SUCCESS && filter == ERROR_SUCCESS ? S_OK : S_FALSE;
}

LONG RegisterFilterClass(const std::wstring& filterClass, const std::wstring& description,
                         const std::wstring& modulePath, const std::wstring& threadingModel) {
    const RegistryRow rows[] = {
        {L"", nullptr, &description},
        {L"\\InprocServer32", nullptr, &modulePath},
        {L"\\InprocServer32", L"ThreadingModel", &threadingModel},
    };
    return WriteRegistryRows(HKEY_CLASSES_ROOT, ClassKey(filterClass), rows, std::size(rows));
}

LONG RegisterPersistentHandler(const std::wstring& persistentHandler, const std::wstring& description,
                               const std::wstring& filterClass) {
    const std::wstring addin = std::wstring(L"\\") + kFilterAddinKey;
    const RegistryRow rows[] = {
        {L"", nullptr, &description},
        {L"\\PersistentAddinsRegistered", nullptr, nullptr},
        {addin.c_str(), nullptr, &filterClass},
    };
    return WriteRegistryRows(HKEY_CLASSES_ROOT, ClassKey(persistentHandler), rows, std::size(rows));
}

namespace {

std::wstring HandlerKey(const FileType& row) { return std::wstring(row.extension) + L"\\PersistentHandler"; }

// What <extension>\PersistentHandler holds: the handler it names (empty when
// it names none) and the handler remembered for it (empty when none).
struct HandlerEntry {
    LONG opened = ERROR_SUCCESS;
    std::wstring named;
    std::wstring remembered;
};

HandlerEntry ReadHandlerEntry(const std::wstring& path) {
    HandlerEntry entry;
    UniqueHKey key;
    entry.opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put());
    if (entry.opened != ERROR_SUCCESS) {
        key.Release();
        return entry;
    }
    if (!QueryRegistryString(key.Get(), nullptr, entry.named)) entry.named.clear();
    if (!QueryRegistryString(key.Get(), kPreviousHandlerValue, entry.remembered)) entry.remembered.clear();
    return entry;
}

// Remembers the handler of another product before Velmora's replaces it. A
// type that already names Velmora's handler keeps its memory, so that
// registering again, or the other bitness, never loses the first one.
LONG RememberPreviousHandler(const std::wstring& path, const std::wstring& persistentHandler) {
    const HandlerEntry entry = ReadHandlerEntry(path);
    if (entry.named.empty() || SameIdentifier(entry.named, persistentHandler)) return ERROR_SUCCESS;
    return SetRegistryString(HKEY_CLASSES_ROOT, path, kPreviousHandlerValue, entry.named);
}

LONG RestorePreviousHandler(const std::wstring& path, const std::wstring& persistentHandler) {
    const HandlerEntry entry = ReadHandlerEntry(path);
    if (entry.opened != ERROR_SUCCESS) return entry.opened;
    if (!SameIdentifier(entry.named, persistentHandler)) {
        // Another filter has the type now: it keeps it, and Velmora's memory,
        // which belonged to a registration that is gone, goes.
        if (!entry.remembered.empty()) DeleteRegistryValue(HKEY_CLASSES_ROOT, path, kPreviousHandlerValue);
        return ERROR_ACCESS_DENIED;
    }
    if (entry.remembered.empty()) return DeleteRegistryTree(HKEY_CLASSES_ROOT, path);
    const LONG restored = SetRegistryString(HKEY_CLASSES_ROOT, path, nullptr, entry.remembered);
    if (restored != ERROR_SUCCESS) return restored;
    return DeleteRegistryValue(HKEY_CLASSES_ROOT, path, kPreviousHandlerValue);
}

}  // namespace

LONG RegisterExtensions(const std::wstring& persistentHandler, const FileType* table, size_t count) {
    LONG result = ERROR_SUCCESS;
    for (size_t i = 0; i < count; ++i) {
        const std::wstring handlerKey = HandlerKey(table[i]);
        LONG row = CreateRegistryKey(HKEY_CLASSES_ROOT, table[i].extension);
        if (row == ERROR_SUCCESS) row = RememberPreviousHandler(handlerKey, persistentHandler);
        if (row == ERROR_SUCCESS) row = SetRegistryString(HKEY_CLASSES_ROOT, handlerKey, nullptr, persistentHandler);
        if (result == ERROR_SUCCESS) result = row;
    }
    return result;
}

LONG UnregisterExtensions(const std::wstring& persistentHandler, const FileType* table, size_t count) {
    LONG result = ERROR_SUCCESS;
    for (size_t i = 0; i < count; ++i) {
        const LONG row = RestorePreviousHandler(HandlerKey(table[i]), persistentHandler);
        if (row != ERROR_SUCCESS) result = row;
    }
    return result;
}

LONG DeleteClassKey(const std::wstring& classString) {
    return DeleteRegistryTree(HKEY_CLASSES_ROOT, ClassKey(classString));
}

}  // namespace velmora
