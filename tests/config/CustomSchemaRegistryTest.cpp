// Custom schema declarations read from a private registry: validation, the
// log lines in order, definition files, and registry data stored without a
// terminator or with an odd byte count.
#include "config/CustomSchemaRegistry.h"

#include "common/Win32.h"
#include "config/CustomSchema.h"

#include "ConfigTestSupport.h"

#include <optional>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Declaration {
    std::wstring name;
    std::optional<std::wstring> guid;
    std::optional<std::wstring> nameSpace;
    std::optional<std::wstring> fileName;
};

class CustomSchemaRegistryTest : public LoggedRegistryTest {
protected:
    static void Declare(const Declaration& d) {
        const std::wstring path = kSchemasKey + L"\\" + d.name;
        RegistrySandbox::CreateKey(path);
        if (d.guid) RegistrySandbox::SetString(path, L"GUID", *d.guid);
        if (d.nameSpace) RegistrySandbox::SetString(path, L"NameSpace", *d.nameSpace);
        if (d.fileName) RegistrySandbox::SetString(path, L"FileName", *d.fileName);
    }
    static size_t Load(CustomSchemaList& schemas) {
        return LoadCustomSchemas(kKey, schemas);
    }
    // Subkey names of "CustomSchemas" in the registry's own enumeration order.
    static Lines EnumerationOrder() {
        Lines names;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSchemasKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        RegCloseKey(key);
        return names;
    }
    std::wstring DefinitionFile(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = temp.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    TempDirectory temp;
};

const std::wstring kGathering = L"INFO: gathering info about custom schemas...";
std::wstring Found(const std::wstring& name) { return L"INFO: found subkey for custom schema " + name; }

TEST_F(CustomSchemaRegistryTest, NoSubkeyOrNoSchemasGivesAnEmptyList) {
    CustomSchemaList schemas;
    EXPECT_EQ(0u, Load(schemas));
    RegistrySandbox::CreateKey(kSchemasKey);
    EXPECT_EQ(0u, Load(schemas));
    EXPECT_EQ((Lines{kGathering, kGathering}), Logged());
}

TEST_F(CustomSchemaRegistryTest, ValidAndInvalidDeclarations) {
    const std::wstring definitions = DefinitionFile(L"camera.txt", "cam:Model;Model\ncam:FrameCount;5;VT_INT\n");
    const std::wstring comments = DefinitionFile(L"comments.txt", "only comments here\nno semicolons\n");
    const std::wstring missing = temp.File(L"missing.txt");
    const std::wstring locked = DefinitionFile(L"locked.txt", "cam:Model;Model\n");
    const UniqueFileHandle holder(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    const Declaration declarations[] = {
        {L"A-Valid", kCameraSet, kCameraNsW, definitions},
        {L"B-Discovered", kOtherSet, kCameraNsW, std::nullopt},
        {L"C-NoBraces", L"6B2F1C3E-2A41-4D7B-9E0C-5F8A1B2C3D4E", kCameraNsW, std::nullopt},
        {L"D-ShortGuid", L"{6B2F1C3E-2A41-4D7B-9E0C-5F8A1B2C3D4}", kCameraNsW, std::nullopt},
        {L"E-LongGuid", L"{6B2F1C3E-2A41-4D7B-9E0C-5F8A1B2C3D4E0}", kCameraNsW, std::nullopt},
        {L"F-NoGuid", std::nullopt, kCameraNsW, std::nullopt},
        {L"G-NoNameSpace", kCameraSet, std::nullopt, std::nullopt},
        {L"H-MissingFile", kCameraSet, kCameraNsW, missing},
        {L"H2-LockedFile", kCameraSet, kCameraNsW, locked},
        {L"I-EmptyFileName", kCameraSet, kCameraNsW, std::wstring()},
        {L"J-OnlyComments", kCameraSet, kCameraNsW, comments},
        {L"K-LowerCaseGuid", L"{6b2f1c3e-2a41-4d7b-9e0c-5f8a1b2c3d4e}", L"http://ns.example.com/k/", definitions},
    };
    for (const Declaration& d : declarations) Declare(d);
    ASSERT_EQ((Lines{L"A-Valid", L"B-Discovered", L"C-NoBraces", L"D-ShortGuid", L"E-LongGuid", L"F-NoGuid",
                     L"G-NoNameSpace", L"H-MissingFile", L"H2-LockedFile", L"I-EmptyFileName", L"J-OnlyComments", L"K-LowerCaseGuid"}),
              EnumerationOrder());

    CustomSchemaList schemas;
    EXPECT_EQ(3u, Load(schemas));
    const Lines expectedSchemas = {
        L"A-Valid " + kCameraNsW + L" " + kCameraSet + L" 2",
        L"B-Discovered " + kCameraNsW + L" " + kOtherSet + L" 0",
        L"K-LowerCaseGuid http://ns.example.com/k/ " + kCameraSet + L" 2",
    };
    EXPECT_EQ(expectedSchemas, Describe(schemas));
    EXPECT_EQ((Lines{L"cam:Model|Model|string", L"cam:FrameCount|5|integer"}), Describe(schemas.front().definitions));

    const Lines expectedLog = {
        kGathering,
        Found(L"A-Valid"),
        Found(L"B-Discovered"),
        Found(L"C-NoBraces"),
        L"ERROR: GUID value of custom schema C-NoBraces is not a GUID in braces",
        Found(L"D-ShortGuid"),
        L"ERROR: GUID value of custom schema D-ShortGuid is not a GUID in braces",
        Found(L"E-LongGuid"),
        L"ERROR: GUID value of custom schema E-LongGuid is not a GUID in braces",
        Found(L"F-NoGuid"),
        L"ERROR: GUID value was not found for custom schema F-NoGuid",
        Found(L"G-NoNameSpace"),
        L"ERROR: NameSpace value was not found for custom schema G-NoNameSpace",
        Found(L"H-MissingFile"),
        L"ERROR: file " + missing + L" cannot be opened",
        Found(L"H2-LockedFile"),
        L"ERROR: file " + locked + L" cannot be opened",
        Found(L"I-EmptyFileName"),
        Found(L"J-OnlyComments"),
        Found(L"K-LowerCaseGuid"),
    };
    EXPECT_EQ(expectedLog, Logged());
}

TEST_F(CustomSchemaRegistryTest, ValuesOfOtherTypesCountAsMissing) {
    const std::wstring path = kSchemasKey + L"\\Expand";
    const std::wstring definitions = DefinitionFile(L"camera.txt", "cam:Model;Model\n");
    auto setExpand = [&](const wchar_t* name, const std::wstring& text) {
        RegistrySandbox::SetRaw(path, name, REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
    };
    // GUID as REG_EXPAND_SZ: not found.
    setExpand(L"GUID", kCameraSet);
    RegistrySandbox::SetString(path, L"NameSpace", kCameraNsW);
    CustomSchemaList schemas;
    EXPECT_EQ(0u, Load(schemas));
    // NameSpace as REG_EXPAND_SZ: not found.
    RegistrySandbox::SetString(path, L"GUID", kCameraSet);
    setExpand(L"NameSpace", kCameraNsW);
    EXPECT_EQ(0u, Load(schemas));
    // FileName as REG_EXPAND_SZ: as if absent, so the schema is discovered per document.
    RegistrySandbox::SetString(path, L"NameSpace", kCameraNsW);
    setExpand(L"FileName", definitions);
    EXPECT_EQ(1u, Load(schemas));
    EXPECT_EQ((Lines{L"Expand " + kCameraNsW + L" " + kCameraSet + L" 0"}), Describe(schemas));
    // GUID as a DWORD: not found.
    RegistrySandbox::SetDword(path, L"GUID", 1);
    EXPECT_EQ(1u, Load(schemas));

    const Lines expected = {
        kGathering, Found(L"Expand"), L"ERROR: GUID value was not found for custom schema Expand",
        kGathering, Found(L"Expand"), L"ERROR: NameSpace value was not found for custom schema Expand",
        kGathering, Found(L"Expand"),
        kGathering, Found(L"Expand"), L"ERROR: GUID value was not found for custom schema Expand",
    };
    EXPECT_EQ(expected, Logged());
}

TEST_F(CustomSchemaRegistryTest, TwoSchemasOverOneNamespaceAreBothKeptInEnumerationOrder) {
    // Created in the opposite order to their names.
    Declare({L"Second", kOtherSet, kCameraNsW, std::nullopt});
    Declare({L"First", kCameraSet, kCameraNsW, std::nullopt});
    const Lines order = EnumerationOrder();
    ASSERT_EQ(2u, order.size());

    CustomSchemaList schemas;
    EXPECT_EQ(2u, Load(schemas));
    Lines names;
    for (const CustomSchema& schema : schemas) names.push_back(schema.name);
    EXPECT_EQ(order, names);
    const std::wstring& setOf = order[0] == L"First" ? kCameraSet : kOtherSet;
    EXPECT_EQ(setOf, GuidString(schemas.front().propertySet));
    EXPECT_EQ((Lines{kGathering, Found(order[0]), Found(order[1])}), Logged());
}

TEST_F(CustomSchemaRegistryTest, AppendsToTheGivenList) {
    Declare({L"Camera", kCameraSet, kCameraNsW, std::nullopt});
    CustomSchemaList schemas(2);
    EXPECT_EQ(3u, Load(schemas));
    EXPECT_EQ(L"Camera", schemas.back().name);
}

TEST_F(CustomSchemaRegistryTest, LoadCustomSchemaOfAnUnknownSubkeyFailsSilently) {
    RegistrySandbox::CreateKey(kSchemasKey);
    CustomSchema schema;
    schema.name = L"NotThere";
    EXPECT_FALSE(LoadCustomSchema(kKey, schema));
    EXPECT_EQ(Lines{}, Logged());
}

TEST_F(CustomSchemaRegistryTest, StringsWithoutTerminatorOrWithAnOddByteCountAreReadSafely) {
    const std::wstring path = kSchemasKey + L"\\Raw";
    const std::wstring definitions = DefinitionFile(L"raw.txt", "cam:Model;Model\n");
    // Exactly the characters, no terminating null.
    auto setUnterminated = [&](const wchar_t* name, const std::wstring& text) {
        RegistrySandbox::SetRaw(path, name, REG_SZ, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    };
    setUnterminated(L"GUID", kCameraSet);
    setUnterminated(L"NameSpace", kCameraNsW);
    setUnterminated(L"FileName", definitions);
    CustomSchemaList schemas;
    EXPECT_EQ(1u, Load(schemas));
    EXPECT_EQ((Lines{L"Raw " + kCameraNsW + L" " + kCameraSet + L" 1"}), Describe(schemas));

    // One stray byte after the text: the half character is dropped.
    auto setOdd = [&](const wchar_t* name, const std::wstring& text) {
        std::wstring data = text + L"\x4100";
        RegistrySandbox::SetRaw(path, name, REG_SZ, data.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t) + 1));
    };
    setOdd(L"GUID", kOtherSet);
    setOdd(L"NameSpace", L"http://ns.example.com/odd/");
    setOdd(L"FileName", definitions);
    schemas.clear();
    EXPECT_EQ(1u, Load(schemas));
    EXPECT_EQ((Lines{L"Raw http://ns.example.com/odd/ " + kOtherSet + L" 1"}), Describe(schemas));

    // Text followed by a null and more data: the text ends at the null.
    const std::wstring withTail = kCameraNsW + std::wstring(1, L'\0') + L"ignored";
    RegistrySandbox::SetRaw(path, L"NameSpace", REG_SZ, withTail.data(), static_cast<DWORD>(withTail.size() * 2));
    schemas.clear();
    EXPECT_EQ(1u, Load(schemas));
    EXPECT_EQ(kCameraNs, schemas.front().namespaceUri);

    // A single byte of GUID data: an empty text, which does not parse.
    RegistrySandbox::SetRaw(path, L"GUID", REG_SZ, "{", 1);
    schemas.clear();
    EXPECT_EQ(0u, Load(schemas));
    EXPECT_EQ(L"ERROR: GUID value of custom schema Raw is not a GUID in braces", Logged().back());
}

// A ProgID is no GUID, although COM's CLSIDFromString would look it up in
// the registry and take the class it names.
TEST_F(CustomSchemaRegistryTest, AProgIdIsNotTakenForAGuid) {
    CLSID named{};
    ASSERT_HR(S_OK, CLSIDFromString(L"StdFont", &named));  // a ProgID that every machine has
    Declare({L"ProgId", L"StdFont", kCameraNsW, std::nullopt});
    CustomSchemaList schemas;
    EXPECT_EQ(0u, Load(schemas));
    EXPECT_EQ(L"ERROR: GUID value of custom schema ProgId is not a GUID in braces", Logged().back());
}

TEST_F(CustomSchemaRegistryTest, NameSpaceIsKeptAsUtf8) {
    Declare({L"Wide", kCameraSet, L"http://ns.example.com/caf\u00E9/\u65E5/", std::nullopt});
    CustomSchemaList schemas;
    ASSERT_EQ(1u, Load(schemas));
    EXPECT_EQ("http://ns.example.com/caf\xC3\xA9/\xE6\x97\xA5/", schemas.front().namespaceUri);
}

}  // namespace
