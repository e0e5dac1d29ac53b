// SharePoint and SQL Server full-text registration, and the TIFF exports that
// add or remove the TIFF file types on the SharePoint products alone.
#include "registration/SearchHosts.h"

#include "common/ComPtr.h"
#include "common/Win32.h"
#include "diag/Debugger.h"
#include "common/Product.h"
#include "registration/HostFilterRegistration.h"
#include "registration/RegistryWrites.h"

#include <objbase.h>
#include <olectl.h>

#include <cwchar>
#include <memory>

namespace velmora {

namespace {

// {E3ECB800-3968-11D3-B282-00C04FA3027B}: SharePoint Portal Server 2001 has no ProgID.
constexpr CLSID kSps2001Registration = {0xE3ECB800, 0x3968, 0x11D3, {0xB2, 0x82, 0x00, 0xC0, 0x4F, 0xA3, 0x02, 0x7B}};

struct SharePointHost {
    const wchar_t* progId;     // null: the host is reached by its fixed class identifier
    const CLSID* fixedClass;
    bool decidesResult;        // false: always tried, and its outcome is only logged
    const wchar_t* successMessage;
    const wchar_t* failureMessage;
};

// In the order tried. SPS2007 is always tried; of the others the first that
// succeeds ends the sequence.
constexpr SharePointHost kSharePointHosts[] = {
    {L"OSearch.FilterRegistration", nullptr, false, L"INFO: IFilter was registered for SPS2007 \n",
     L"INFO: could not register IFilter for SPS2007 \n"},
    {L"SPSearch.FilterRegistration", nullptr, true, L"INFO: IFilter was registered for WSS3.0 \n",
     L"INFO: could not register IFilter for WSS3 \n"},
    {L"SPSSearch.FilterRegistration", nullptr, true, L"INFO: successfully registered IFilter for SPS2003 \n",
     L"INFO: could not register IFilter for SPS2003 \n"},
    {nullptr, &kSps2001Registration, true, L"INFO: IFilter was registered for SPS2001 \n",
     L"INFO: could not register IFilter for SPS2001 \n"},
};

constexpr DWORD kRegistrationObjectContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

constexpr const wchar_t* kInstanceMapPath = L"SOFTWARE\\Microsoft\\MSFTESQLInstMap";
constexpr DWORD kRegRootBufferBytes = 1024;
constexpr const wchar_t* kThreadingModelValue = L"ThreadingModel";

// COM for this thread, for the length of one SharePoint update.
class ComApartment {
public:
    ComApartment() noexcept : result(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const noexcept { return result; }

private:
    HRESULT result;
};

HRESULT OpenRegistrationObject(const CLSID& hostClass, ComPtr<IHostFilterRegistration>& registration) {
    if (IsEqualCLSID(hostClass, CLSID_NULL)) return E_NOINTERFACE;
    IUnknown* rawUnknown = nullptr;
    VELMORA_RETURN_IF_FAILED(
        CoCreateInstance(hostClass, nullptr, kRegistrationObjectContext, IID_IUnknown, reinterpret_cast<void**>(&rawUnknown)));
    const ComPtr<IUnknown> unknown(rawUnknown);
    void* rawRegistration = nullptr;
    const HRESULT hr = unknown->QueryInterface(IID_IHostFilterRegistration, &rawRegistration);
    if (FAILED(hr)) return hr;
    registration.Reset(static_cast<IHostFilterRegistration*>(rawRegistration));
    return hr;
}

HRESULT CallRegistrationObject(IHostFilterRegistration& registration, bool add, const CLSID* filterClass,
                               const FileType* table, size_t count, int group) {
    std::vector<const wchar_t*> extensions;
    std::vector<const wchar_t*> mimeTypes;
    extensions.reserve(count);
    mimeTypes.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (table[i].group != group) continue;
        if (table[i].extension) extensions.push_back(table[i].extension);
        if (table[i].mimeType) mimeTypes.push_back(table[i].mimeType);
    }
    const auto extensionCount = static_cast<ULONG>(extensions.size());
    const auto mimeTypeCount = static_cast<ULONG>(mimeTypes.size());
    if (add) {
        return registration.AddFilter(extensionCount, extensions.data(), 0, 0, mimeTypeCount, mimeTypes.data(), 0, 0,
                                      filterClass, 0, 1, 0);
    }
    return registration.RemoveFilter(extensionCount, extensions.data(), 0, 0, mimeTypeCount, mimeTypes.data(), 0,
                                     filterClass, 0, 0);
}

HRESULT TrySharePointHost(const SharePointHost& host, bool add, const CLSID* filterClass, const FileType* table,
                          size_t count, int group) {
    CLSID hostClass = CLSID_NULL;
    if (host.progId) {
        VELMORA_RETURN_IF_FAILED(CLSIDFromProgID(host.progId, &hostClass));
    } else {
        hostClass = *host.fixedClass;
    }
    ComPtr<IHostFilterRegistration> registration;
    VELMORA_RETURN_IF_FAILED(OpenRegistrationObject(hostClass, registration));
    return CallRegistrationObject(*registration.Get(), add, filterClass, table, count, group);
}

// The instance's root with exactly one trailing "\"; false for a root that
// is missing, not REG_SZ, longer than the buffer or empty.
bool ReadInstanceRoot(HKEY instanceMap, const wchar_t* name, std::wstring& root) {
    UniqueHKey instance;
    if (RegOpenKeyExW(instanceMap, name, 0, KEY_READ, instance.Put()) != ERROR_SUCCESS) {
        instance.Release();
        return false;
    }
    wchar_t buffer[kRegRootBufferBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kRegRootBufferBytes;
    if (RegQueryValueExW(instance.Get(), L"RegRoot", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    root.assign(buffer, wcsnlen(buffer, size / sizeof(wchar_t)));
    if (root.empty()) return false;
    if (root.back() != L'\\') root += L'\\';
    return true;
}


HRESULT UpdateSharePointHosts(bool add, const CLSID* filterClass, const FileType* table, size_t count, int group) {
    const ComApartment apartment;
    VELMORA_RETURN_IF_FAILED(apartment.Result());
    HRESULT result = S_OK;
    for (const SharePointHost& host : kSharePointHosts) {
        const HRESULT hr = TrySharePointHost(host, add, filterClass, table, count, group);
        debugger.Log(3, SUCCEEDED(hr) ? host.successMessage : host.failureMessage);
        if (!host.decidesResult) continue;
        result = hr;
        if (SUCCEEDED(hr)) break;
    }
    return result;
}

HRESULT RegisterSqlInstances(const std::wstring& filterClass, const std::wstring& modulePath,
                             const std::wstring& threadingModel, const FileType* table, size_t count) {
    const std::vector<std::wstring> roots = FindSqlFullTextInstances();
    if (roots.empty()) return E_FAIL;
    HRESULT result = S_OK;
    for (const std::wstring& root : roots) {
        const std::wstring classKey = root + L"CLSID\\" + filterClass;
        LONG status = SetRegistryString(HKEY_LOCAL_MACHINE, classKey, nullptr, modulePath);
        if (status == ERROR_SUCCESS) status = SetRegistryString(HKEY_LOCAL_MACHINE, classKey, kThreadingModelValue, threadingModel);
        if (status == ERROR_SUCCESS) status = SetRegistryDword(HKEY_LOCAL_MACHINE, classKey, L"Flags", 1);
        if (status != ERROR_SUCCESS) {
            result = SELFREG_E_CLASS;
            continue;
        }
        // Every row is attempted; any row that fails fails the instance.
        for (size_t i = 0; i < count; ++i) {
            const std::wstring filterKey = root + L"Filters\\" + table[i].extension;
            if (SetRegistryString(HKEY_LOCAL_MACHINE, filterKey, nullptr, filterClass) != ERROR_SUCCESS) {
                result = SELFREG_E_CLASS;
            }
        }
    }
    return result;
}

HRESULT UnregisterSqlInstances(const std::wstring& filterClass, const FileType* table, size_t count) {
    const std::vector<std::wstring> roots = FindSqlFullTextInstances();
    if (roots.empty()) return E_FAIL;
    HRESULT result = S_OK;
    for (const std::wstring& root : roots) {
        if (DeleteRegistryTree(HKEY_LOCAL_MACHINE, root + L"CLSID\\" + filterClass) != ERROR_SUCCESS) {
            result = SELFREG_E_CLASS;
        }
        // An entry that another filter has taken over since is left to it.
        for (size_t i = 0; i < count; ++i) {
            const std::wstring filterKey = root + L"Filters\\" + table[i].extension;
            if (DeleteRegistryTreeIfNamed(HKEY_LOCAL_MACHINE, filterKey, filterClass) != ERROR_SUCCESS) {
                result = SELFREG_E_CLASS;
            }
        }
    }
    return result;
}

}  // namespace

// The entry points keep every exception inside: a search host's trouble never
// reaches the registration exports as anything but a code.
HRESULT UpdateSharePointRegistration(bool add, const CLSID* filterClass, const FileType* table, size_t count,
                                     int group) {
    return ExceptionBoundary([&] { return UpdateSharePointHosts(add, filterClass, table, count, group); });
}

HRESULT RegisterSqlFullTextFilter(const std::wstring& filterClass, const std::wstring& modulePath,
                                  const std::wstring& threadingModel, const FileType* table, size_t count) {
    return ExceptionBoundary([&] { return RegisterSqlInstances(filterClass, modulePath, threadingModel, table, count); });
}

HRESULT UnregisterSqlFullTextFilter(const std::wstring& filterClass, const FileType* table, size_t count) {
    return ExceptionBoundary([&] { return UnregisterSqlInstances(filterClass, table, count); });
}

std::vector<std::wstring> FindSqlFullTextInstances() {
    std::vector<std::wstring> roots;
    UniqueHKey instanceMap;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstanceMapPath, 0, KEY_READ, instanceMap.Put()) != ERROR_SUCCESS) {
        instanceMap.Release();
        return roots;
    }
    DWORD subkeyCount = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyW(instanceMap.Get(), nullptr, nullptr, nullptr, &subkeyCount, &longestName, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return roots;
    }
    std::vector<wchar_t> name(static_cast<size_t>(longestName) + 1);
    for (DWORD index = 0; index < subkeyCount; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        // A name that does not fit (the map changed meanwhile) would be cut: skip it as well.
        if (RegEnumKeyExW(instanceMap.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        std::wstring root;
        if (ReadInstanceRoot(instanceMap.Get(), name.data(), root)) roots.push_back(std::move(root));
    }
    return roots;
}

HRESULT UpdateSharePointTiffRegistration(bool add) {
    return UpdateSharePointRegistration(add, &CLSID_VelmoraFilter, kFileTypes, kFileTypeCount, kTiffFileTypes);
}

}  // namespace velmora
