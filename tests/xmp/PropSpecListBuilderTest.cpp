// The standard property-spec list as the "DefaultSchemas" switches of a real
// (sandboxed) registry shape it, with the exact log lines of each case.
#include "xmp/PropSpecListBuilder.h"

#include "ChunkRecorder.h"
#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "diag/Debugger.h"
#include "xmp/StandardSchemas.h"
#include "toolkit/XmpToolkit.h"

#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using Lines = std::vector<std::wstring>;

namespace {

const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
const std::wstring kSwitches = kKey + L"\\DefaultSchemas";
const std::wstring kNoSubkey = L"Corvantis Velmora:INFO: cannot open default XMP schemas registry subkey";
std::wstring NoValue(const wchar_t* name) {
    return std::wstring(L"Corvantis Velmora:INFO: cannot open registry subkey for default XMP schema ") + name;
}

// "ns|path|set/name-or-id|type" for every entry, for whole-list comparison.
std::vector<std::string> Summarise(const PropSpecList& list) {
    std::vector<std::string> lines;
    for (const MetadataPropSpec& e : list) {
        std::string line = e.schemaNS + "|" + e.propPath + "|" + Narrow(GuidString(e.propSpec.PropertySet())) + "/";
        line += e.propSpec.Kind() == PRSPEC_LPWSTR ? Narrow(e.propSpec.Name()) : std::to_string(e.propSpec.Id());
        lines.push_back(line + "|" + std::to_string(e.type));
    }
    return lines;
}

std::vector<std::string> Tables(std::initializer_list<int> which) {
    PropSpecList list;
    for (int i : which) list.insert(list.end(), standardSchemas[i].rows, standardSchemas[i].rows + standardSchemas[i].rowCount);
    return Summarise(list);
}

}  // namespace

class PropSpecListBuilderTest : public testing::Test {
protected:
    void SetUp() override {
        RegistrySandbox::SetDword(kKey, L"DebugMode", 3);
        debugger.Initialize(kKey.c_str(), kProductDisplayName);
    }

    RegistrySandbox registry;
};

TEST_F(PropSpecListBuilderTest, Switches) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int32_t count;
        std::vector<std::string> entries;
        Lines log;
    };
    const Case cases[] = {
        {"no subkey", [] {}, 3, Tables({0, 1, 2}), {kNoSubkey, kNoSubkey, kNoSubkey}},
        {"empty subkey", [] { RegistrySandbox::CreateKey(kSwitches); }, 3, Tables({0, 1, 2}),
         {NoValue(L"DC"), NoValue(L"PHOTOSHOP"), NoValue(L"XAP")}},
        {"PHOTOSHOP 0 alone", [] { RegistrySandbox::SetDword(kSwitches, L"PHOTOSHOP", 0); }, 2, Tables({0, 2}),
         {NoValue(L"DC"), NoValue(L"XAP")}},
        {"all three 0",
         [] {
             RegistrySandbox::SetDword(kSwitches, L"DC", 0);
             RegistrySandbox::SetDword(kSwitches, L"PHOTOSHOP", 0);
             RegistrySandbox::SetDword(kSwitches, L"XAP", 0);
         },
         0, {}, {}},
        {"DC 0, others 1",
         [] {
             RegistrySandbox::SetDword(kSwitches, L"DC", 0);
             RegistrySandbox::SetDword(kSwitches, L"PHOTOSHOP", 1);
             RegistrySandbox::SetDword(kSwitches, L"XAP", 1);
         },
         2, Tables({1, 2}), {}},
        {"DC as the string 0, XAP 2",
         [] {
             RegistrySandbox::SetString(kSwitches, L"DC", L"0");
             RegistrySandbox::SetDword(kSwitches, L"PHOTOSHOP", 0);
             RegistrySandbox::SetDword(kSwitches, L"XAP", 2);
         },
         2, Tables({0, 2}), {NoValue(L"DC")}},
        {"XAP as 4 binary zero bytes, DC as an 8-byte REG_DWORD",
         [] {
             const DWORD zero[2] = {0, 0};
             RegistrySandbox::SetRaw(kSwitches, L"XAP", REG_BINARY, zero, 4);
             RegistrySandbox::SetRaw(kSwitches, L"DC", REG_DWORD, zero, 8);
             RegistrySandbox::SetDword(kSwitches, L"PHOTOSHOP", 0xFFFFFFFF);
         },
         3, Tables({0, 1, 2}), {NoValue(L"DC"), NoValue(L"XAP")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox::DeleteTree(kSwitches);
        c.arrange();
        LogCapture log;
        PropSpecList list;
        XmpMetadataPropSpecListBuilder builder(kKey);
        EXPECT_EQ(c.count, builder.Build(list));
        EXPECT_EQ(c.entries, Summarise(list));
        EXPECT_EQ(c.log, log.Lines());
    }
}

TEST_F(PropSpecListBuilderTest, FullListHas43EntriesInTableOrder) {
    PropSpecList list;
    XmpMetadataPropSpecListBuilder builder(kKey);
    ASSERT_EQ(3, builder.Build(list));
    ASSERT_EQ(43u, list.size());
    auto it = list.begin();
    EXPECT_EQ("contributor", it->propPath);
    std::advance(it, 18);
    EXPECT_EQ("type", it->propPath);
    ++it;
    EXPECT_EQ("AuthorsPosition", it->propPath);
    EXPECT_EQ(kXMP_NS_Photoshop, it->schemaNS);
    EXPECT_EQ("Nickname", list.back().propPath);
    // The list holds copies: its names are not the tables' names.
    EXPECT_NE(standardSchemas[0].rows[0].propSpec.Name(), list.front().propSpec.Name());
}

TEST_F(PropSpecListBuilderTest, AppendsAfterWhatTheListHolds) {
    RegistrySandbox::SetDword(kSwitches, L"DC", 0);
    RegistrySandbox::SetDword(kSwitches, L"PHOTOSHOP", 0);
    PropSpecList list;
    list.emplace_back("urn:first", "first", FullPropSpec(FMTID_XmpBasic, L"first"), VT_LPWSTR);
    XmpMetadataPropSpecListBuilder builder(kKey);
    EXPECT_EQ(1, builder.Build(list));
    ASSERT_EQ(11u, list.size());
    EXPECT_EQ("first", list.front().propPath);
    EXPECT_EQ("Advisory", std::next(list.begin())->propPath);
}

TEST_F(PropSpecListBuilderTest, IsDefaultSchemaEnabledReadsItsOwnKeyPath) {
    // A builder over another product key ignores this one's switches.
    RegistrySandbox::SetDword(kSwitches, L"DC", 0);
    RegistrySandbox::SetDword(L"SOFTWARE\\Other\\DefaultSchemas", L"DC", 1);
    XmpMetadataPropSpecListBuilder mine(kKey);
    XmpMetadataPropSpecListBuilder other(L"SOFTWARE\\Other");
    LogCapture log;
    EXPECT_FALSE(mine.IsDefaultSchemaEnabled(L"DC"));
    EXPECT_TRUE(other.IsDefaultSchemaEnabled(L"DC"));
    EXPECT_TRUE(mine.IsDefaultSchemaEnabled(L"XAP"));
    EXPECT_EQ(Lines{NoValue(L"XAP")}, log.Lines());
}

TEST_F(PropSpecListBuilderTest, MessagesAreLevelOne) {
    RegistrySandbox::SetDword(kKey, L"DebugMode", 1);
    debugger.Initialize(kKey.c_str(), kProductDisplayName);
    LogCapture log;
    XmpMetadataPropSpecListBuilder builder(kKey);
    EXPECT_TRUE(builder.IsDefaultSchemaEnabled(L"DC"));
    RegistrySandbox::CreateKey(kSwitches);
    EXPECT_TRUE(builder.IsDefaultSchemaEnabled(L"DC"));
    EXPECT_EQ((Lines{kNoSubkey, NoValue(L"DC")}), log.Lines());

    RegistrySandbox::SetDword(kKey, L"DebugMode", 0);
    debugger.Initialize(kKey.c_str(), kProductDisplayName);
    log.Clear();
    EXPECT_TRUE(builder.IsDefaultSchemaEnabled(L"XAP"));
    EXPECT_EQ(Lines{}, log.Lines());
}
