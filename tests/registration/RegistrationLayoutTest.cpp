// DllRegisterServer and DllUnregisterServer against a private HKEY_CLASSES_ROOT:
// the exact keys and values written, what is left behind, and the results.
#include "RegistrationFixture.h"

#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <olectl.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace velmora::test;

namespace {

Lines ExtensionKeysOnly() {
    Lines lines(std::begin(kRegisteredExtensions), std::end(kRegisteredExtensions));
    return Sorted(lines);
}

// The layout minus the lines of one key and everything below it.
Lines Without(const Lines& layout, const std::wstring& key) {
    Lines lines;
    for (const std::wstring& line : layout) {
        const bool below = line.compare(0, key.size(), key) == 0 &&
                           (line.size() == key.size() || line[key.size()] == L'\\' || line[key.size()] == L' ');
        if (!below) lines.push_back(line);
    }
    return lines;
}

Lines Plus(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return Sorted(lines);
}

// Everything below HKEY_CLASSES_ROOT after registration: the layout, the
// CLSID key and the extension keys.
Lines ClassesRootLayout(const std::wstring& modulePath) {
    return Plus(Plus(ExpectedLayout(modulePath), ExtensionKeysOnly()), {L"CLSID"});
}

void CreateVolatileKey(const std::wstring& path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

void ClearClassesRoot() {
    RegistrySandbox::DeleteTree(L"CLSID", HKEY_CLASSES_ROOT);
    for (const wchar_t* extension : kRegisteredExtensions) RegistrySandbox::DeleteTree(extension, HKEY_CLASSES_ROOT);
}

using RegistrationLayout = RegistrationTest;

TEST_F(RegistrationLayout, RegisterWritesExactlyTheLayoutEveryTime) {
    ASSERT_TRUE(dll.Loaded());
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_HR(S_OK, dll.Register());
        EXPECT_EQ(ClassesRootLayout(dll.Path()), DumpRegistry(HKEY_CLASSES_ROOT));
    }
}

TEST_F(RegistrationLayout, UnregisterRemovesExactlyWhatRegistrationWrote) {
    ASSERT_TRUE(dll.Loaded());
    // What another program had put on the extension keys before.
    RegistrySandbox::SetString(L".jpg", nullptr, L"jpegfile", HKEY_CLASSES_ROOT);
    RegistrySandbox::SetString(L".jpg", L"Content Type", L"image/jpeg", HKEY_CLASSES_ROOT);
    RegistrySandbox::SetString(L".png\\OpenWithProgids", L"pngfile", L"", HKEY_CLASSES_ROOT);
    const Lines before = {
        Sz(L".jpg", L"", L"jpegfile"),
        Sz(L".jpg", L"Content Type", L"image/jpeg"),
        L".png\\OpenWithProgids",
        Sz(L".png\\OpenWithProgids", L"pngfile", L""),
    };

    EXPECT_HR(S_OK, dll.Register());
    EXPECT_EQ(Plus(ClassesRootLayout(dll.Path()), before), DumpRegistry(HKEY_CLASSES_ROOT));

    // The extension keys stay, with what was on them; an emptied CLSID key stays too.
    const Lines after = Plus(Plus(ExtensionKeysOnly(), before), {L"CLSID"});
    EXPECT_HR(S_OK, dll.Unregister());
    EXPECT_EQ(after, DumpRegistry(HKEY_CLASSES_ROOT));
    EXPECT_HR(S_FALSE, dll.Unregister());
    EXPECT_EQ(after, DumpRegistry(HKEY_CLASSES_ROOT));
}

TEST_F(RegistrationLayout, UnregisterOnACleanRegistryReportsNothingRemoved) {
    ASSERT_TRUE(dll.Loaded());
    EXPECT_HR(S_FALSE, dll.Unregister());
    EXPECT_EQ(Lines{}, DumpRegistry(HKEY_CLASSES_ROOT));
}

// A registry that refuses writes: nothing is registered, and no search host is
// told. HKEY_CLASSES_ROOT is pointed at a volatile key opened for reading only:
// Windows refuses new subkeys for the access, Wine (which does not check a
// parent handle's access) because a volatile key takes no non-volatile subkeys.
TEST_F(RegistrationLayout, ClassesRootRefusingWritesFailsWithoutSearchHosts) {
    ASSERT_TRUE(dll.Loaded());
    fakes.Install(kWss3);
    const std::wstring refusing = sandbox.BackingPath() + L"\\HKCR-refusing";
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, refusing.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &created, nullptr));
    RegCloseKey(created);
    HKEY readOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, refusing.c_str(), 0, KEY_READ, &readOnly));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, readOnly));
    LogCapture capture;
    EXPECT_HR(SELFREG_E_CLASS, dll.Register());
    EXPECT_EQ(Lines{}, fakes.Calls());
    EXPECT_EQ(Lines{}, capture.Lines());
    EXPECT_EQ(Lines{}, DumpRegistry(HKEY_CLASSES_ROOT));
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(readOnly);
}

// One extension row that cannot be written fails registration even when the
// rows after it succeed; they are all still written, and no search host is told.
TEST_F(RegistrationLayout, AnyFailedExtensionRowFailsRegistration) {
    ASSERT_TRUE(dll.Loaded());
    fakes.Install(kWss3);
    const struct {
        const wchar_t* extension;
    } cases[] = {{L".ai"}, {L".tif"}, {L".svg"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.extension));
        ClearClassesRoot();
        // A volatile key cannot get the non-volatile "PersistentHandler" subkey.
        CreateVolatileKey(c.extension);
        fakes.Configure(L"", L"");
        EXPECT_HR(SELFREG_E_CLASS, dll.Register());
        const std::wstring handlerKey = std::wstring(c.extension) + L"\\PersistentHandler";
        EXPECT_EQ(Plus(Without(ClassesRootLayout(dll.Path()), handlerKey), {}), DumpRegistry(HKEY_CLASSES_ROOT));
        EXPECT_EQ(Lines{}, fakes.Calls());
    }
}

// An extension that another filter has taken over since keeps its handler.
TEST_F(RegistrationLayout, UnregisterLeavesExtensionsTakenOverByOthers) {
    ASSERT_TRUE(dll.Loaded());
    ASSERT_HR(S_OK, dll.Register());
    const std::wstring other = L"{D3E34B21-9D75-101A-8C3D-00AA001A1652}";
    RegistrySandbox::SetString(L".png\\PersistentHandler", nullptr, other, HKEY_CLASSES_ROOT);
    // Ours, written in lower case by someone else's tool: still ours.
    std::wstring lower = kHandlerClassText;
    std::transform(lower.begin(), lower.end(), lower.begin(), towlower);
    RegistrySandbox::SetString(L".gif\\PersistentHandler", nullptr, lower, HKEY_CLASSES_ROOT);
    // A handler key without any value names nobody: it is left as well.
    RegistrySandbox::DeleteValue(L".svg\\PersistentHandler", nullptr, HKEY_CLASSES_ROOT);

    EXPECT_HR(S_FALSE, dll.Unregister());
    const Lines expected = Plus(ExtensionKeysOnly(), {L"CLSID", L".png\\PersistentHandler",
                                                      Sz(L".png\\PersistentHandler", L"", other),
                                                      L".svg\\PersistentHandler"});
    EXPECT_EQ(expected, DumpRegistry(HKEY_CLASSES_ROOT));
}

}  // namespace

namespace {

// A DLL installed under a path longer than MAX_PATH registers its whole path,
// not the first 259 characters of it.
TEST_F(RegistrationLayout, LongModulePathIsRegisteredWhole) {
    TempDirectory scratch;
    std::wstring directory = L"\\\\?\\" + scratch.Path();
    std::vector<std::wstring> created;
    for (int level = 0; level < 6; ++level) {
        directory += std::wstring(50, static_cast<wchar_t>(L'a' + level)) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
        created.push_back(directory);
    }
    const std::wstring copy = directory + L"Velmora.dll";
    ASSERT_TRUE(CopyFileW(dll.Path().c_str(), copy.c_str(), FALSE));
    {
        const velmora::hostkit::VelmoraDll copied(copy);
        ASSERT_NE(nullptr, copied.Handle());
        wchar_t loaded[2048] = {};
        const DWORD length = GetModuleFileNameW(copied.Handle(), loaded, 2048);
        EXPECT_GT(length, static_cast<DWORD>(MAX_PATH));
        ASSERT_TRUE(copied.Exports("DllRegisterServer"));
        EXPECT_HR(S_OK, copied.RegisterServer());
        std::wstring registered;
        EXPECT_TRUE(RegistrySandbox::ReadString(L"CLSID\\" + kFilterClassText + L"\\InprocServer32", nullptr, registered,
                                                HKEY_CLASSES_ROOT));
        EXPECT_EQ(std::wstring(loaded, length), registered);
    }
    DeleteFileW(copy.c_str());
    for (auto level = created.rbegin(); level != created.rend(); ++level) RemoveDirectoryW(level->c_str());
}

}  // namespace

namespace {

// The handlers that other products put on the file types.
const std::wstring kWindowsTiff = L"{1AA9BF05-9A97-48C1-BA28-D9DCE795E93C}";
const std::wstring kThirdFilter = L"{5E941D80-BF96-11CD-B579-08002B30BFEB}";

Lines HandlerEntry(const std::wstring& extension, const std::wstring& named, const std::wstring& remembered) {
    const std::wstring key = extension + L"\\PersistentHandler";
    Lines lines = {key, Sz(key, L"", named)};
    if (!remembered.empty()) lines.push_back(Sz(key, L"VelmoraPreviousHandler", remembered));
    return lines;
}

// Another product's handler written on .tif.
void SetTifHandler(const std::wstring& handler) {
    RegistrySandbox::SetString(L".tif\\PersistentHandler", nullptr, handler, HKEY_CLASSES_ROOT);
}

// What unregistration leaves: the extension keys, the CLSID key and .tif's handler.
Lines LeftWithTif(const std::wstring& named) {
    return Plus(Plus(ExtensionKeysOnly(), {L"CLSID"}), HandlerEntry(L".tif", named, L""));
}

// The layout with .tif's handler entry replaced.
Lines LayoutWithTif(const std::wstring& modulePath, const std::wstring& named, const std::wstring& remembered) {
    return Plus(Without(ClassesRootLayout(modulePath), L".tif\\PersistentHandler"), HandlerEntry(L".tif", named, remembered));
}

// A file type that had another product's handler gets it back when Velmora
// is unregistered, and registering again never replaces what was remembered.
TEST_F(RegistrationLayout, PreviousHandlerIsRememberedAndPutBack) {
    ASSERT_TRUE(dll.Loaded());
    SetTifHandler(kWindowsTiff);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_HR(S_OK, dll.Register());
        EXPECT_EQ(LayoutWithTif(dll.Path(), kHandlerClassText, kWindowsTiff), DumpRegistry(HKEY_CLASSES_ROOT));
    }
    EXPECT_HR(S_OK, dll.Unregister());
    EXPECT_EQ(LeftWithTif(kWindowsTiff), DumpRegistry(HKEY_CLASSES_ROOT));
    // Nothing is left to restore a second time.
    EXPECT_HR(S_FALSE, dll.Unregister());
    EXPECT_EQ(LeftWithTif(kWindowsTiff), DumpRegistry(HKEY_CLASSES_ROOT));
}

// Another filter takes the type over after Velmora: it keeps it on
// unregistration, and Velmora's memory of the earlier handler goes.
TEST_F(RegistrationLayout, TypeTakenOverInBetweenKeepsTheNewFilter) {
    ASSERT_TRUE(dll.Loaded());
    SetTifHandler(kWindowsTiff);
    ASSERT_HR(S_OK, dll.Register());
    SetTifHandler(kThirdFilter);
    EXPECT_HR(S_FALSE, dll.Unregister());
    EXPECT_EQ(LeftWithTif(kThirdFilter), DumpRegistry(HKEY_CLASSES_ROOT));
}

// Registering again after another filter took the type over remembers that
// filter, the one the type named last, and puts it back afterwards.
TEST_F(RegistrationLayout, RegisteringOverANewerFilterRemembersIt) {
    ASSERT_TRUE(dll.Loaded());
    SetTifHandler(kWindowsTiff);
    ASSERT_HR(S_OK, dll.Register());
    SetTifHandler(kThirdFilter);
    EXPECT_HR(S_OK, dll.Register());
    EXPECT_EQ(LayoutWithTif(dll.Path(), kHandlerClassText, kThirdFilter), DumpRegistry(HKEY_CLASSES_ROOT));
    EXPECT_HR(S_OK, dll.Unregister());
    EXPECT_EQ(LeftWithTif(kThirdFilter), DumpRegistry(HKEY_CLASSES_ROOT));
}

// Velmora's handler written in lower case by someone else's tool is still
// Velmora's: the remembered handler is put back.
TEST_F(RegistrationLayout, LowerCaseHandlerIsStillOursOnUnregister) {
    ASSERT_TRUE(dll.Loaded());
    std::wstring lower = kHandlerClassText;
    std::transform(lower.begin(), lower.end(), lower.begin(), towlower);
    ASSERT_HR(S_OK, dll.Register());
    SetTifHandler(lower);
    RegistrySandbox::SetString(L".tif\\PersistentHandler", L"VelmoraPreviousHandler", kWindowsTiff, HKEY_CLASSES_ROOT);
    EXPECT_HR(S_OK, dll.Unregister());
    EXPECT_EQ(LeftWithTif(kWindowsTiff), DumpRegistry(HKEY_CLASSES_ROOT));
}

}  // namespace
