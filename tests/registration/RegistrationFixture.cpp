// The shared pieces of the registration tests.
#include "RegistrationFixture.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>

namespace velmora::test {

const SharePointProduct kSps2007 = {L"SPS2007", L"OSearch.FilterRegistration", L"{6C1B7A10-3E52-4F0B-9D61-0A4C2E8B5D01}"};
const SharePointProduct kWss3 = {L"WSS3", L"SPSearch.FilterRegistration", L"{6C1B7A10-3E52-4F0B-9D61-0A4C2E8B5D02}"};
const SharePointProduct kSps2003 = {L"SPS2003", L"SPSSearch.FilterRegistration", L"{6C1B7A10-3E52-4F0B-9D61-0A4C2E8B5D03}"};
const SharePointProduct kSps2001 = {L"SPS2001", nullptr, L"{E3ECB800-3968-11D3-B282-00C04FA3027B}"};

bool EnableDetailLog() {
    RegistrySandbox::SetDword(L"SOFTWARE\\Corvantis\\Velmora", L"DebugMode", 3);
    return true;
}

VelmoraLibrary::VelmoraLibrary()
    : tiffRegister(Export<TiffFunction>("SpsTiffRegister")),
      tiffUnregister(Export<TiffFunction>("SpsTiffUnregister")) {}

namespace {

using ResetFunction = void (*)(const wchar_t*, const wchar_t*);
using RecordFunction = DWORD (*)(wchar_t*, DWORD);

}  // namespace

namespace {

void SetClassesString(HKEY classes, const std::wstring& path, const wchar_t* name, const std::wstring& data) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(classes, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(key);
}

}  // namespace

FakeHosts::FakeHosts() : path(ProgramDirectory() + L"VelmoraFakeHost.dll") {
    lock = CreateMutexW(nullptr, FALSE, kPrefixRegistryMutex);
    if (lock) WaitForSingleObject(lock, INFINITE);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS, &classes));
    UninstallAll();
    // Held for the test's life, so that the record survives COM unloading the DLL.
    module = std::make_unique<hostkit::LoadedModule>(path);
    Configure(L"", L"");
}

FakeHosts::~FakeHosts() {
    UninstallAll();
    if (classes) RegCloseKey(classes);
    module.reset();
    if (lock) {
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
}

void FakeHosts::UninstallAll() const {
    if (!classes) return;
    for (const SharePointProduct* product : {&kSps2007, &kWss3, &kSps2003, &kSps2001}) {
        SHDeleteKeyW(classes, (std::wstring(L"CLSID\\") + product->classString).c_str());
        if (product->progId) SHDeleteKeyW(classes, product->progId);
    }
}

void FakeHosts::Install(const SharePointProduct& product) const {
    ASSERT_NE(nullptr, classes);
    const std::wstring classKey = std::wstring(L"CLSID\\") + product.classString;
    SetClassesString(classes, classKey, nullptr, product.name);
    SetClassesString(classes, classKey + L"\\InprocServer32", nullptr, path);
    SetClassesString(classes, classKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
    if (product.progId) SetClassesString(classes, std::wstring(product.progId) + L"\\CLSID", nullptr, product.classString);
}

void FakeHosts::Configure(const std::wstring& failing, const std::wstring& withoutInterface) const {
    const auto reset = module->Export<ResetFunction>("FakeHostReset");
    if (reset) reset(failing.c_str(), withoutInterface.c_str());
}

std::vector<std::wstring> FakeHosts::Calls() const {
    std::vector<std::wstring> calls;
    const auto record = module->Export<RecordFunction>("FakeHostRecord");
    if (!record) return calls;
    std::wstring text(record(nullptr, 0) + 1, L'\0');
    text.resize(record(text.data(), static_cast<DWORD>(text.size())));
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        calls.push_back(text.substr(start, end - start));
    }
    return calls;
}

namespace {

std::wstring DescribeValue(const std::wstring& key, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    std::wstring line = key + L" [" + name + L"] ";
    if (type == REG_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        line += L"REG_SZ \"" + text.substr(0, text.find(L'\0')) + L"\" " + std::to_wstring(data.size());
        // Data without its terminating null shows as such.
        if (text.empty() || text.back() != L'\0') line += L" unterminated";
    } else if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        memcpy(&number, data.data(), sizeof number);
        line += L"REG_DWORD " + std::to_wstring(number);
    } else {
        line += L"type " + std::to_wstring(type) + L" " + std::to_wstring(data.size());
    }
    return line;
}

void DumpKey(HKEY key, const std::wstring& relative, std::vector<std::wstring>& lines, REGSAM view) {
    if (!relative.empty()) lines.push_back(relative);
    const std::wstring prefix = relative.empty() ? L"" : relative + L"\\";
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(size);
        nameLength = 16384;
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        lines.push_back(DescribeValue(relative, name, type, data));
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ | view, &child) != ERROR_SUCCESS) continue;
        DumpKey(child, prefix + name, lines, view);
        RegCloseKey(child);
    }
}

}  // namespace

std::wstring Sz(const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    return key + L" [" + name + L"] REG_SZ \"" + data + L"\" " + std::to_wstring((data.size() + 1) * sizeof(wchar_t));
}

Lines Sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

Lines ExpectedLayout(const std::wstring& modulePath) {
    const std::wstring filterKey = L"CLSID\\" + kFilterClassText;
    const std::wstring handlerKey = L"CLSID\\" + kHandlerClassText;
    const std::wstring addins = handlerKey + L"\\PersistentAddinsRegistered";
    const std::wstring filterEntry = addins + L"\\{89BCB740-6119-101A-BCB7-00DD010655AF}";
    Lines lines = {
        filterKey,
        Sz(filterKey, L"", L"Corvantis Velmora"),
        filterKey + L"\\InprocServer32",
        Sz(filterKey + L"\\InprocServer32", L"", modulePath),
        Sz(filterKey + L"\\InprocServer32", L"ThreadingModel", L"Both"),
        handlerKey,
        Sz(handlerKey, L"", L"Corvantis Velmora Persistent Handler"),
        addins,
        filterEntry,
        Sz(filterEntry, L"", kFilterClassText),
    };
    for (const wchar_t* extension : kRegisteredExtensions) {
        const std::wstring key = std::wstring(extension) + L"\\PersistentHandler";
        lines.push_back(key);
        lines.push_back(Sz(key, L"", kHandlerClassText));
    }
    return Sorted(lines);
}

std::vector<std::wstring> DumpRegistry(HKEY root, const std::wstring& path, REGSAM view) {
    std::vector<std::wstring> lines;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return lines;
    DumpKey(key, L"", lines, view);
    RegCloseKey(key);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace velmora::test
