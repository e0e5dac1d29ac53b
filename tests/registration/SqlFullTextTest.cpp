// Registration with the SQL Server full-text instances listed under
// HKLM\SOFTWARE\Microsoft\MSFTESQLInstMap, in a private HKEY_LOCAL_MACHINE:
// through the DLL's exports, and through the steps themselves for their codes.
#include "RegistrationFixture.h"

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "registration/FileTypes.h"
#include "registration/SearchHosts.h"

#include <olectl.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

const std::wstring kMap = L"SOFTWARE\\Microsoft\\MSFTESQLInstMap";
const std::wstring kRoot1 = L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.1\\MSSearch";
const std::wstring kRoot2 = L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.2\\MSSearch";
const std::wstring kModule = L"C:\\Program Files\\Corvantis\\Velmora.dll";

// What one instance root receives, relative to the root.
Lines InstanceLayout(const std::wstring& modulePath, const wchar_t* skippedExtension = nullptr) {
    const std::wstring classKey = L"CLSID\\" + kFilterClassText;
    Lines lines = {L"CLSID", classKey, Sz(classKey, L"", modulePath), Sz(classKey, L"ThreadingModel", L"Both"),
                   classKey + L" [Flags] REG_DWORD 1", L"Filters"};
    for (size_t i = 0; i < kFileTypeCount; ++i) {
        if (skippedExtension && std::wstring(skippedExtension) == kFileTypes[i].extension) continue;
        const std::wstring key = std::wstring(L"Filters\\") + kFileTypes[i].extension;
        lines.push_back(key);
        lines.push_back(Sz(key, L"", kFilterClassText));
    }
    return Sorted(lines);
}

// Two usable instances (root with and without its trailing "\") and four that
// are skipped: no "RegRoot", a root of the wrong type, an empty root and a
// root longer than the 1024-byte buffer.
void WriteInstanceMap() {
    RegistrySandbox::SetString(kMap + L"\\MSSQL.1", L"RegRoot", kRoot1);
    RegistrySandbox::SetString(kMap + L"\\MSSQL.2", L"RegRoot", kRoot2 + L"\\");
    RegistrySandbox::SetString(kMap + L"\\NoRoot", L"Other", kRoot1);
    const std::wstring expand = L"SOFTWARE\\Expand";
    RegistrySandbox::SetRaw(kMap + L"\\Expand", L"RegRoot", REG_EXPAND_SZ, expand.c_str(),
                            static_cast<DWORD>((expand.size() + 1) * sizeof(wchar_t)));
    RegistrySandbox::SetString(kMap + L"\\Empty", L"RegRoot", L"");
    RegistrySandbox::SetString(kMap + L"\\Long", L"RegRoot", L"SOFTWARE\\" + std::wstring(600, L'L'));
}

// Everything under the private HKLM apart from the product key and the map.
Lines WrittenOutsideTheMap() {
    Lines lines;
    for (const std::wstring& line : DumpRegistry(HKEY_LOCAL_MACHINE)) {
        if (line.rfind(L"SOFTWARE\\Corvantis", 0) == 0 || line.rfind(kMap, 0) == 0) continue;
        if (line == L"SOFTWARE" || line == L"SOFTWARE\\Microsoft") continue;
        lines.push_back(line);
    }
    return lines;
}

void CreateVolatileKey(const std::wstring& path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

using SqlFullText = RegistrationTest;

TEST_F(SqlFullText, NoInstanceMapWritesNothing) {
    ASSERT_TRUE(dll.Loaded());
    EXPECT_HR(E_FAIL, RegisterSqlFullTextFilter(kFilterClassText, kModule, L"Both", kFileTypes, kFileTypeCount));
    EXPECT_HR(E_FAIL, UnregisterSqlFullTextFilter(kFilterClassText, kFileTypes, kFileTypeCount));
    EXPECT_HR(S_OK, dll.Register());
    EXPECT_EQ(Lines{}, WrittenOutsideTheMap());
    // A map without instances is no different.
    RegistrySandbox::CreateKey(kMap);
    EXPECT_HR(E_FAIL, RegisterSqlFullTextFilter(kFilterClassText, kModule, L"Both", kFileTypes, kFileTypeCount));
    EXPECT_TRUE(FindSqlFullTextInstances().empty());
    EXPECT_EQ(Lines{}, WrittenOutsideTheMap());
}

TEST_F(SqlFullText, EveryUsableInstanceIsRegisteredAndUnregistered) {
    ASSERT_TRUE(dll.Loaded());
    WriteInstanceMap();
    const std::vector<std::wstring> expectedRoots = {kRoot1 + L"\\", kRoot2 + L"\\"};
    EXPECT_EQ(expectedRoots, FindSqlFullTextInstances());

    EXPECT_HR(S_OK, dll.Register());
    EXPECT_EQ(InstanceLayout(dll.Path()), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot1));
    EXPECT_EQ(InstanceLayout(dll.Path()), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot2));
    EXPECT_HR(S_OK, RegisterSqlFullTextFilter(kFilterClassText, kModule, L"Both", kFileTypes, kFileTypeCount));
    EXPECT_EQ(InstanceLayout(kModule), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot2));

    // Nothing was written anywhere else (the skipped instances included).
    Lines written;
    for (const std::wstring& root : {kRoot1, kRoot2}) {
        for (const std::wstring& line : InstanceLayout(kModule)) written.push_back(root + L"\\" + line);
        written.push_back(root);
    }
    written.insert(written.end(), {L"SOFTWARE\\Microsoft\\Microsoft SQL Server",
                                   L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.1",
                                   L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.2"});
    EXPECT_EQ(Sorted(written), WrittenOutsideTheMap());

    EXPECT_HR(S_OK, dll.Unregister());
    EXPECT_EQ((Lines{L"CLSID", L"Filters"}), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot1));
    EXPECT_EQ((Lines{L"CLSID", L"Filters"}), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot2));
    EXPECT_HR(SELFREG_E_CLASS, UnregisterSqlFullTextFilter(kFilterClassText, kFileTypes, kFileTypeCount));
}

// A row that cannot be written fails the instance even when the last row
// succeeds; every row and every instance is still attempted.
TEST_F(SqlFullText, AnyFailedRowFailsRegistration) {
    WriteInstanceMap();
    // A volatile "Filters" takes no new non-volatile subkeys; its existing ".svg" stays writable.
    RegistrySandbox::CreateKey(kRoot1);
    RegistrySandbox::CreateKey(kRoot2);
    CreateVolatileKey(kRoot1 + L"\\Filters");
    CreateVolatileKey(kRoot1 + L"\\Filters\\.svg");
    EXPECT_HR(SELFREG_E_CLASS, RegisterSqlFullTextFilter(kFilterClassText, kModule, L"Both", kFileTypes, kFileTypeCount));
    Lines first = {L"CLSID", L"CLSID\\" + kFilterClassText, Sz(L"CLSID\\" + kFilterClassText, L"", kModule),
                   Sz(L"CLSID\\" + kFilterClassText, L"ThreadingModel", L"Both"), L"CLSID\\" + kFilterClassText + L" [Flags] REG_DWORD 1",
                   L"Filters", L"Filters\\.svg", Sz(L"Filters\\.svg", L"", kFilterClassText)};
    EXPECT_EQ(Sorted(first), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot1));
    EXPECT_EQ(InstanceLayout(kModule), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot2));
}

// A "Filters" entry that another filter has taken over since stays, and the
// removal reports it; the entries that still name the filter go.
TEST_F(SqlFullText, UnregisterLeavesExtensionsTakenOverByOthers) {
    WriteInstanceMap();
    ASSERT_HR(S_OK, RegisterSqlFullTextFilter(kFilterClassText, kModule, L"Both", kFileTypes, kFileTypeCount));
    const std::wstring other = L"{0E4C5C3A-1B7F-4D2A-9C51-2F7E8A6B3D90}";
    RegistrySandbox::SetString(kRoot2 + L"\\Filters\\.png", nullptr, other);
    EXPECT_HR(SELFREG_E_CLASS, UnregisterSqlFullTextFilter(kFilterClassText, kFileTypes, kFileTypeCount));
    EXPECT_EQ((Lines{L"CLSID", L"Filters"}), DumpRegistry(HKEY_LOCAL_MACHINE, kRoot1));
    EXPECT_EQ(Sorted({L"CLSID", L"Filters", L"Filters\\.png", Sz(L"Filters\\.png", L"", other)}),
              DumpRegistry(HKEY_LOCAL_MACHINE, kRoot2));
}

}  // namespace
