// The process configuration built from a private registry: the plain values
// in each shape, the schema lists, and the one-time build behind Instance.
#include "config/VelmoraConfiguration.h"

#include "ConfigTestSupport.h"
#include "MallocSpy.h"

#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

std::wstring SystemTempDirectory() {
    wchar_t path[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, path);
    return path;
}

std::wstring WithoutBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

void SetRawString(const wchar_t* name, DWORD type, const std::wstring& text, DWORD size) {
    RegistrySandbox::SetRaw(kKey, name, type, text.c_str(), size);
}

class ConfigurationTest : public testing::Test {
protected:
    RegistrySandbox registry;
    TempDirectory temp;
};

TEST_F(ConfigurationTest, NoProductKeyGivesTheDefaults) {
    debugger.Initialize(kKey.c_str(), kProductDisplayName);  // no key: the log stays off
    const VelmoraConfiguration configuration(kKey);
    EXPECT_EQ(SystemTempDirectory(), configuration.tempDirectory);
    EXPECT_EQ(kKey, configuration.keyPath);
    EXPECT_EQ(0u, configuration.multipleInstancesMode);
    EXPECT_EQ(43u, configuration.standardPropSpecs.size());
    EXPECT_TRUE(configuration.customSchemas.empty());
}

TEST_F(ConfigurationTest, DefaultArgumentIsTheProductKey) {
    RegistrySandbox::SetDword(kKey, L"MultipleInstancesMode", 1);
    const VelmoraConfiguration configuration;
    EXPECT_EQ(kKey, configuration.keyPath);
    EXPECT_EQ(1u, configuration.multipleInstancesMode);
}

TEST_F(ConfigurationTest, TempPathInEachShape) {
    const std::wstring existing = WithoutBackslash(temp.Path());
    const std::wstring file = temp.File(L"not-a-directory");
    WriteBytes(file, "x");
    const std::wstring system = SystemTempDirectory();
    struct Case {
        const char* name;
        std::function<void()> set;
        std::wstring expected;
    };
    const Case cases[] = {
        {"missing", [] {}, system},
        {"directory without a backslash", [&] { RegistrySandbox::SetString(kKey, L"TempPath", existing); },
         existing + L"\\"},
        {"directory with a backslash", [&] { RegistrySandbox::SetString(kKey, L"TempPath", existing + L"\\"); },
         existing + L"\\"},
        {"REG_EXPAND_SZ is ignored",
         [&] { SetRawString(L"TempPath", REG_EXPAND_SZ, existing, static_cast<DWORD>((existing.size() + 1) * 2)); },
         system},
        {"directory that does not exist",
         [&] { RegistrySandbox::SetString(kKey, L"TempPath", existing + L"\\missing"); }, system},
        {"a file, not a directory", [&] { RegistrySandbox::SetString(kKey, L"TempPath", file); }, system},
        {"empty", [&] { RegistrySandbox::SetString(kKey, L"TempPath", L""); }, system},
        {"no data at all", [&] { SetRawString(L"TempPath", REG_SZ, L"", 0); }, system},
        {"without a terminating null",
         [&] { SetRawString(L"TempPath", REG_SZ, existing, static_cast<DWORD>(existing.size() * 2)); },
         existing + L"\\"},
        {"with an odd byte count",
         [&] { SetRawString(L"TempPath", REG_SZ, existing + L"\x4100", static_cast<DWORD>(existing.size() * 2 + 1)); },
         existing + L"\\"},
        {"as a DWORD", [&] { RegistrySandbox::SetDword(kKey, L"TempPath", 1); }, system},
    };
    for (const Case& c : cases) {
        RegistrySandbox::DeleteTree(kKey);
        RegistrySandbox::CreateKey(kKey);
        c.set();
        const VelmoraConfiguration configuration(kKey);
        EXPECT_EQ(c.expected, configuration.tempDirectory) << c.name;
        std::wstring resolved = L"unchanged";
        EXPECT_TRUE(ResolveTempDirectory(kKey, resolved)) << c.name;
        EXPECT_EQ(c.expected, resolved) << c.name;
    }
}

TEST_F(ConfigurationTest, MultipleInstancesModeInEachTypeAndValue) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<unsigned char> data;
        uint32_t expected;
    };
    const Case cases[] = {
        {"REG_DWORD 0", REG_DWORD, {0, 0, 0, 0}, 0},
        {"REG_DWORD 1", REG_DWORD, {1, 0, 0, 0}, 1},
        {"REG_DWORD 2", REG_DWORD, {2, 0, 0, 0}, 0},
        {"REG_DWORD 0x80000001", REG_DWORD, {1, 0, 0, 0x80}, 0},
        {"REG_DWORD 0xFFFFFFFF", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"REG_SZ \"1\"", REG_SZ, {'1', 0, 0, 0}, 0},
        {"REG_QWORD 1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"REG_BINARY 1", REG_BINARY, {1, 0, 0, 0}, 0},
        {"REG_DWORD of two bytes", REG_DWORD, {1, 0}, 0},
        {"REG_DWORD_BIG_ENDIAN 1", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, 0},
    };
    for (const Case& c : cases) {
        RegistrySandbox::SetRaw(kKey, L"MultipleInstancesMode", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        const VelmoraConfiguration configuration(kKey);
        EXPECT_EQ(c.expected, configuration.multipleInstancesMode) << c.name;
    }
}

// The two reading switches: on unless a REG_DWORD of exactly 0 says off.
TEST_F(ConfigurationTest, FormatHandlersAndNativeMetadataSwitches) {
    {
        const VelmoraConfiguration configuration(kKey);
        EXPECT_TRUE(configuration.formatHandlers);
        EXPECT_TRUE(configuration.nativeMetadata);
    }
    struct Case {
        const char* name;
        DWORD type;
        std::vector<unsigned char> data;
        bool expected;
    };
    const Case cases[] = {
        {"REG_DWORD 0", REG_DWORD, {0, 0, 0, 0}, false},
        {"REG_DWORD 1", REG_DWORD, {1, 0, 0, 0}, true},
        {"REG_DWORD 2", REG_DWORD, {2, 0, 0, 0}, true},
        {"REG_SZ \"0\"", REG_SZ, {'0', 0, 0, 0}, true},
        {"REG_QWORD 0", REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0}, true},
        {"REG_BINARY 0", REG_BINARY, {0, 0, 0, 0}, true},
        {"REG_DWORD of two bytes", REG_DWORD, {0, 0}, true},
    };
    for (const wchar_t* name : {L"FormatHandlers", L"NativeMetadata"}) {
        for (const Case& c : cases) {
            RegistrySandbox::SetRaw(kKey, name, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
            const VelmoraConfiguration configuration(kKey);
            const bool handlers = std::wstring(name) == L"FormatHandlers";
            EXPECT_EQ(handlers ? c.expected : true, configuration.formatHandlers) << Narrow(name) << " " << c.name;
            EXPECT_EQ(handlers ? true : c.expected, configuration.nativeMetadata) << Narrow(name) << " " << c.name;
        }
        RegistrySandbox::DeleteValue(kKey, name);
    }
}

TEST_F(ConfigurationTest, RegistryHelpersLeaveTheOutputAloneOnFailure) {
    uint32_t number = 77;
    std::wstring text = L"unchanged";
    EXPECT_FALSE(ReadRegistryDword(kKey, L"Number", number));  // no key
    EXPECT_FALSE(ReadRegistryString(kKey, L"Text", text));
    RegistrySandbox::SetString(kKey, L"Number", L"5");
    RegistrySandbox::SetDword(kKey, L"Text", 5);
    EXPECT_FALSE(ReadRegistryDword(kKey, L"Number", number));  // wrong types
    EXPECT_FALSE(ReadRegistryString(kKey, L"Text", text));
    EXPECT_FALSE(ReadRegistryDword(kKey, L"Missing", number));
    EXPECT_FALSE(ReadRegistryString(kKey, L"Missing", text));
    EXPECT_EQ(77u, number);
    EXPECT_EQ(L"unchanged", text);

    RegistrySandbox::SetDword(kKey, L"Number", 0xFFFFFFFE);
    RegistrySandbox::SetString(kKey, L"Text", L"hello");
    EXPECT_TRUE(ReadRegistryDword(kKey, L"Number", number));
    EXPECT_TRUE(ReadRegistryString(kKey, L"Text", text));
    EXPECT_EQ(0xFFFFFFFEu, number);
    EXPECT_EQ(L"hello", text);

    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    RegistrySandbox::SetRaw(kKey, L"Text", REG_SZ, unterminated, sizeof unterminated);
    EXPECT_TRUE(ReadRegistryString(kKey, L"Text", text));
    EXPECT_EQ(L"abc", text);
    RegistrySandbox::SetRaw(kKey, L"Text", REG_SZ, "ab\0", 3);  // one character and a stray byte
    EXPECT_TRUE(ReadRegistryString(kKey, L"Text", text));
    EXPECT_EQ(std::wstring(1, static_cast<wchar_t>('a' | ('b' << 8))), text);

    // Around the length a string is first read with, and far past it.
    for (const size_t length : {size_t{MAX_PATH - 1}, size_t{MAX_PATH}, size_t{MAX_PATH + 1}, size_t{5000}}) {
        const std::wstring stored(length, L'x');
        RegistrySandbox::SetString(kKey, L"Text", stored);
        EXPECT_TRUE(ReadRegistryString(kKey, L"Text", text)) << length;
        EXPECT_EQ(stored, text) << length;
        RegistrySandbox::SetRaw(kKey, L"Text", REG_SZ, stored.data(), static_cast<DWORD>(length * sizeof(wchar_t)));
        EXPECT_TRUE(ReadRegistryString(kKey, L"Text", text)) << length << " unterminated";
        EXPECT_EQ(stored, text) << length << " unterminated";
    }
    text = L"unchanged";
    const std::string bytes(3000, 'x');
    RegistrySandbox::SetRaw(kKey, L"Text", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    EXPECT_FALSE(ReadRegistryString(kKey, L"Text", text));
    EXPECT_EQ(L"unchanged", text);
}

class ConfigurationSchemasTest : public LoggedRegistryTest {
protected:
    TempDirectory temp;
};

TEST_F(ConfigurationSchemasTest, BuildsTheStandardListThenTheCustomSchemas) {
    const std::wstring file = temp.File(L"camera.txt");
    WriteBytes(file, "cam:Model;Model\ncam:FrameCount;5;VT_INT\n");
    RegistrySandbox::SetDword(kKey + L"\\DefaultSchemas", L"PHOTOSHOP", 0);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"GUID", kCameraSet);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"NameSpace", kCameraNsW);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"FileName", file);

    const VelmoraConfiguration configuration(kKey);
    EXPECT_EQ(29u, configuration.standardPropSpecs.size());
    EXPECT_EQ((Lines{L"Camera " + kCameraNsW + L" " + kCameraSet + L" 2"}), Describe(configuration.customSchemas));
    const Lines expectedLog = {
        L"INFO: cannot open registry subkey for default XMP schema DC",
        L"INFO: cannot open registry subkey for default XMP schema XAP",
        L"INFO: gathering info about custom schemas...",
        L"INFO: found subkey for custom schema Camera",
    };
    EXPECT_EQ(expectedLog, Logged());
}

TEST_F(ConfigurationSchemasTest, StandardSchemasOffLeavesOnlyCustomSchemas) {
    for (const wchar_t* name : {L"DC", L"PHOTOSHOP", L"XAP"}) RegistrySandbox::SetDword(kKey + L"\\DefaultSchemas", name, 0);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"GUID", kCameraSet);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"NameSpace", kCameraNsW);
    const VelmoraConfiguration configuration(kKey);
    EXPECT_TRUE(configuration.standardPropSpecs.empty());
    EXPECT_EQ(1u, configuration.customSchemas.size());
}

// Instance builds once per process; each test runs in a process of its own.
class ConfigurationInstanceTest : public LoggedRegistryTest {
protected:
    size_t Gatherings() const {
        size_t count = 0;
        for (const std::wstring& line : Logged()) count += line == L"INFO: gathering info about custom schemas...";
        return count;
    }
    TempDirectory temp;
};

TEST_F(ConfigurationInstanceTest, LaterRegistryChangesAreNotSeen) {
    const std::wstring first = WithoutBackslash(temp.Path());
    RegistrySandbox::SetString(kKey, L"TempPath", first);
    RegistrySandbox::SetDword(kKey, L"MultipleInstancesMode", 1);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"GUID", kCameraSet);
    RegistrySandbox::SetString(kSchemasKey + L"\\Camera", L"NameSpace", kCameraNsW);

    const VelmoraConfiguration& built = VelmoraConfiguration::Instance();
    EXPECT_EQ(first + L"\\", built.tempDirectory);
    EXPECT_EQ(1u, built.multipleInstancesMode);
    EXPECT_EQ(1u, built.customSchemas.size());
    EXPECT_EQ(43u, built.standardPropSpecs.size());

    RegistrySandbox::DeleteTree(kKey);
    RegistrySandbox::SetDword(kKey, L"MultipleInstancesMode", 0);
    RegistrySandbox::SetDword(kKey + L"\\DefaultSchemas", L"DC", 0);
    const VelmoraConfiguration& again = VelmoraConfiguration::Instance();
    EXPECT_EQ(&built, &again);
    EXPECT_EQ(first + L"\\", again.tempDirectory);
    EXPECT_EQ(1u, again.multipleInstancesMode);
    EXPECT_EQ(1u, again.customSchemas.size());
    EXPECT_EQ(43u, again.standardPropSpecs.size());
    EXPECT_EQ(1u, Gatherings());
}

TEST_F(ConfigurationInstanceTest, ConcurrentFirstCallsBuildOnce) {
    constexpr int kThreads = 8;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, start);
    std::vector<const VelmoraConfiguration*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            WaitForSingleObject(start, INFINITE);
            seen[i] = &VelmoraConfiguration::Instance();
        });
    }
    SetEvent(start);
    for (std::thread& thread : threads) thread.join();
    CloseHandle(start);

    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(seen[0], seen[i]) << "thread " << i;
    }
    ASSERT_NE(nullptr, seen[0]);
    EXPECT_EQ(43u, seen[0]->standardPropSpecs.size());
    EXPECT_EQ(1u, Gatherings());
}

TEST_F(ConfigurationInstanceTest, BuildThatThrowsIsRetriedByTheNextCall) {
    ASSERT_HR(S_OK, CoInitialize(nullptr));
    {
        MallocSpy spy;
        ASSERT_TRUE(spy.Registered());
        spy.FailAllocations(1);  // the first name copy of the standard list fails
        EXPECT_THROW(VelmoraConfiguration::Instance(), std::bad_alloc);
        EXPECT_GT(spy.FailedAllocations(), 0u);
    }
    EXPECT_EQ(0u, Gatherings());  // the build stopped in the standard list

    const VelmoraConfiguration& built = VelmoraConfiguration::Instance();
    EXPECT_EQ(43u, built.standardPropSpecs.size());
    EXPECT_EQ(&built, &VelmoraConfiguration::Instance());
    EXPECT_EQ(1u, Gatherings());
    CoUninitialize();
}

}  // namespace
