// What the registration tests share: the built Velmora.dll loaded with its
// exports, the fake SharePoint registration object standing in for each
// product, and a reader that lists a registry tree as sorted text lines.
#pragma once

#include "PrefixRegistryLock.h"

#include "LoadedModule.h"
#include "TestSupport.h"
#include "registration/FileTypes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

using hostkit::ProgramDirectory;

// Velmora.dll from beside the test program (the kit's loader), with its
// registration exports and the SharePoint TIFF pair.
class VelmoraLibrary : public hostkit::VelmoraDll {
public:
    VelmoraLibrary();

    bool Loaded() const {
        return IsLoaded() && Exports("DllRegisterServer") && Exports("DllUnregisterServer") && tiffRegister &&
               tiffUnregister;
    }

    HRESULT Register() const { return RegisterServer(); }
    HRESULT Unregister() const { return UnregisterServer(); }
    HRESULT TiffRegister() const { return tiffRegister(); }
    HRESULT TiffUnregister() const { return tiffUnregister(); }

private:
    using TiffFunction = HRESULT(STDAPICALLTYPE*)();
    TiffFunction tiffRegister = nullptr;
    TiffFunction tiffUnregister = nullptr;
};

// The SharePoint products, as the filter looks for them.
struct SharePointProduct {
    const wchar_t* name;
    const wchar_t* progId;       // null for SPS2001, found by its fixed class
    const wchar_t* classString;  // the class the fake is registered under
};
extern const SharePointProduct kSps2007;
extern const SharePointProduct kWss3;
extern const SharePointProduct kSps2003;
extern const SharePointProduct kSps2001;

// The fake registration object (VelmoraFakeHost.dll), registered under the
// products a test installs. COM looks classes up in the real machine-wide
// classes key, which the registry sandbox does not redirect, so the fake is
// registered in the Wine prefix itself: construct this object BEFORE the
// RegistrySandbox. It holds a named mutex for its life, so that no other
// test process (of either bitness) sees or changes these products meanwhile,
// and it removes every product's keys on construction and destruction.
class FakeHosts {
public:
    FakeHosts();
    ~FakeHosts();
    FakeHosts(const FakeHosts&) = delete;
    FakeHosts& operator=(const FakeHosts&) = delete;

    bool Loaded() const { return module && module->Handle(); }
    void Install(const SharePointProduct& product) const;
    // Products (class strings, concatenated) whose calls fail, or that do not offer the interface.
    void Configure(const std::wstring& failing, const std::wstring& withoutInterface) const;
    // One line per call received since the last Configure.
    std::vector<std::wstring> Calls() const;

    // Removes every product on construction and destruction, for one case of a table.
    class Reinstall {
    public:
        explicit Reinstall(const FakeHosts& hosts) : hosts(hosts) { hosts.UninstallAll(); }
        ~Reinstall() { hosts.UninstallAll(); }
        Reinstall(const Reinstall&) = delete;
        Reinstall& operator=(const Reinstall&) = delete;

    private:
        const FakeHosts& hosts;
    };

private:
    void UninstallAll() const;

    HANDLE lock = nullptr;
    HKEY classes = nullptr;  // the real HKEY_LOCAL_MACHINE\Software\Classes
    std::wstring path;
    std::unique_ptr<hostkit::LoadedModule> module;
};

// Sets "DebugMode" to 3 in the sandboxed product key; the DLL reads it when loaded.
bool EnableDetailLog();

// The two class identifiers as registration writes them, literal text as
// installed systems hold it, and the file types regsvr32 registers: the core
// rows of the file-type table (PinnedIdentitiesTest pins them by name).
inline const std::wstring kFilterClassText = L"{2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}";
inline const std::wstring kHandlerClassText = L"{7F0BCA34-AF00-403A-B243-23F2837DF0B1}";
inline const std::vector<const wchar_t*> kRegisteredExtensions = [] {
    std::vector<const wchar_t*> extensions;
    for (size_t i = 0; i < kFileTypeCount; ++i) extensions.push_back(kFileTypes[i].extension);
    return extensions;
}();

using Lines = std::vector<std::wstring>;

// A REG_SZ value as DumpRegistry lists it.
std::wstring Sz(const std::wstring& key, const std::wstring& name, const std::wstring& data);
Lines Sorted(Lines lines);

// What registration of the DLL at modulePath writes below a classes root, as
// DumpRegistry lists it: the filter class and the persistent handler with
// their values, and each file type's PersistentHandler key with its value
// (not the extension keys themselves, nor the CLSID key).
Lines ExpectedLayout(const std::wstring& modulePath);

// Every key and value below root\path, one sorted line each, relative to path:
//   key:   "CLSID\{...}\InprocServer32"
//   value: "CLSID\{...}\InprocServer32 [ThreadingModel] REG_SZ \"Both\" 10"
// (a default value shows as "[]"; REG_SZ data with its byte count; REG_DWORD as a number).
std::vector<std::wstring> DumpRegistry(HKEY root, const std::wstring& path = L"", REGSAM view = 0);

// The arrangement of most registration tests: the fake products (they live in
// the prefix), then a private HKLM and HKCR with the detail log switched on,
// then the DLL, which reads the log level when it is loaded.
class RegistrationTest : public testing::Test {
protected:
    FakeHosts fakes;
    RegistrySandbox sandbox{RegistrySandbox::Both};
    bool logging = EnableDetailLog();
    VelmoraLibrary dll;
};

}  // namespace velmora::test
