// FullPropSpec and MetadataPropSpec: the FULLPROPSPEC layout, ownership of
// the name through the COM task allocator, deep copies, and the matching rule
// that decides which host attributes select which entries.
#include "xmp/PropSpec.h"

#include "MallocSpy.h"
#include "TestSupport.h"
#include "xmp/StandardSchemas.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr GUID kSetA = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID kSetB = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};

// COM for the malloc spy, for one test.
struct ComScope {
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
};

FULLPROPSPEC Named(const GUID& set, const wchar_t* name) {
    FULLPROPSPEC spec{};
    spec.guidPropSet = set;
    spec.psProperty.ulKind = PRSPEC_LPWSTR;
    spec.psProperty.lpwstr = const_cast<wchar_t*>(name);
    return spec;
}

FULLPROPSPEC Numbered(const GUID& set, PROPID id) {
    FULLPROPSPEC spec{};
    spec.guidPropSet = set;
    spec.psProperty.ulKind = PRSPEC_PROPID;
    spec.psProperty.propid = id;
    return spec;
}

}  // namespace

TEST(PropSpecLayout, IsExactlyFullPropSpec) {
    static_assert(sizeof(FullPropSpec) == sizeof(FULLPROPSPEC));
    FullPropSpec record(kSetA, L"title");
    const auto* raw = reinterpret_cast<const FULLPROPSPEC*>(&record);
    EXPECT_EQ(0, std::memcmp(&raw->guidPropSet, &kSetA, sizeof(GUID)));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), raw->psProperty.ulKind);
    EXPECT_EQ(record.Name(), raw->psProperty.lpwstr);
    EXPECT_EQ(&record.Get(), raw);
}

TEST(PropSpecConstruction, DefaultNumberedAndNamed) {
    const GUID zero{};
    FullPropSpec none;
    EXPECT_TRUE(IsEqualGUID(zero, none.PropertySet()));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_PROPID), none.Kind());
    EXPECT_EQ(0u, none.Id());

    FullPropSpec numbered(kSetA, 12);
    EXPECT_TRUE(IsEqualGUID(kSetA, numbered.PropertySet()));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_PROPID), numbered.Kind());
    EXPECT_EQ(12u, numbered.Id());

    const wchar_t name[] = L"CreatorTool";
    FullPropSpec named(kSetB, name);
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), named.Kind());
    ASSERT_NE(nullptr, named.Name());
    EXPECT_NE(name, named.Name());  // an owned copy
    EXPECT_STREQ(L"CreatorTool", named.Name());

    FullPropSpec unnamed(kSetB, static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), unnamed.Kind());
    EXPECT_EQ(nullptr, unnamed.Name());
}

TEST(PropSpecCopy, IsDeep) {
    FullPropSpec original(kSetA, L"subject");
    FullPropSpec copy(original);
    ASSERT_NE(nullptr, copy.Name());
    EXPECT_NE(original.Name(), copy.Name());
    EXPECT_STREQ(L"subject", copy.Name());
    EXPECT_TRUE(copy == original);

    FullPropSpec assigned(kSetB, 7);
    assigned = original;
    EXPECT_NE(original.Name(), assigned.Name());
    EXPECT_STREQ(L"subject", assigned.Name());
    EXPECT_TRUE(IsEqualGUID(kSetA, assigned.PropertySet()));

    assigned = FullPropSpec(kSetB, 3);  // a name held before is released
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_PROPID), assigned.Kind());
    EXPECT_EQ(3u, assigned.Id());

    FullPropSpec self(kSetA, L"self");
    const FullPropSpec& alias = self;
    self = alias;
    EXPECT_STREQ(L"self", self.Name());

    FullPropSpec unnamed(kSetA, L"x");
    EXPECT_FALSE(unnamed.SetPropertyName(nullptr));
    FullPropSpec unnamedCopy(unnamed);
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), unnamedCopy.Kind());
    EXPECT_EQ(nullptr, unnamedCopy.Name());
}

TEST(PropSpecSetters, SwitchBetweenNameAndId) {
    FullPropSpec record(kSetA, L"first");
    record.SetPropertyId(19);
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_PROPID), record.Kind());
    EXPECT_EQ(19u, record.Id());

    EXPECT_TRUE(record.SetPropertyName(L"second"));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), record.Kind());
    EXPECT_STREQ(L"second", record.Name());

    // Renaming from the record's own name must not read freed memory.
    EXPECT_TRUE(record.SetPropertyName(record.Name()));
    EXPECT_STREQ(L"second", record.Name());

    EXPECT_FALSE(record.SetPropertyName(nullptr));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), record.Kind());
    EXPECT_EQ(nullptr, record.Name());

    record.SetPropertySet(kSetB);
    EXPECT_TRUE(IsEqualGUID(kSetB, record.PropertySet()));
}

TEST(PropSpecMemory, NamesComeFromTheTaskAllocatorAndGoBack) {
    ComScope com;
    MallocSpy spy;
    ASSERT_TRUE(spy.Registered());
    {
        FullPropSpec named(kSetA, L"title");
        FullPropSpec copy(named);
        FullPropSpec assigned(kSetB, 1);
        assigned = copy;
        assigned.SetPropertyId(2);
        EXPECT_TRUE(assigned.SetPropertyName(L"other"));
        MetadataPropSpec entry("ns", "path", named, VT_LPWSTR);
        MetadataPropSpec entryCopy(entry);
        EXPECT_GE(spy.Allocations(), 5u);
        EXPECT_GT(spy.Outstanding(), 0u);
    }
    EXPECT_EQ(0u, spy.Outstanding());
    EXPECT_EQ(spy.Allocations(), spy.Frees());
}

TEST(PropSpecMemory, FailedAllocations) {
    ComScope com;
    MallocSpy spy;
    ASSERT_TRUE(spy.Registered());
    FullPropSpec named(kSetA, L"title");

    spy.FailAllocations(1);
    EXPECT_THROW(FullPropSpec copy(named), std::bad_alloc);

    spy.FailAllocations(1);
    EXPECT_THROW(FullPropSpec fresh(kSetA, L"x"), std::bad_alloc);

    // A failed assignment leaves the target as it was.
    FullPropSpec target(kSetB, 5);
    spy.FailAllocations(1);
    EXPECT_THROW(target = named, std::bad_alloc);
    EXPECT_TRUE(IsEqualGUID(kSetB, target.PropertySet()));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_PROPID), target.Kind());
    EXPECT_EQ(5u, target.Id());

    spy.FailAllocations(1);
    EXPECT_FALSE(target.SetPropertyName(L"name"));
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), target.Kind());
    EXPECT_EQ(nullptr, target.Name());
    EXPECT_EQ(4u, spy.FailedAllocations());

    // Numbered records need no memory at all.
    spy.FailAllocations(1);
    FullPropSpec numbered(kSetA, 2);
    FullPropSpec numberedCopy(numbered);
    EXPECT_EQ(2u, numberedCopy.Id());
    spy.FailAllocations(0);
}

TEST(PropSpecMatching, Table) {
    struct Case {
        const char* what;
        FULLPROPSPEC a;
        FULLPROPSPEC b;
        bool equal;
    };
    FULLPROPSPEC oddKind = Numbered(kSetA, 2);
    oddKind.psProperty.ulKind = 2;
    FULLPROPSPEC oddKindToo = oddKind;
    const Case cases[] = {
        {"same id", Numbered(kSetA, 2), Numbered(kSetA, 2), true},
        {"other id", Numbered(kSetA, 2), Numbered(kSetA, 3), false},
        {"other set, same id", Numbered(kSetA, 2), Numbered(kSetB, 2), false},
        {"same name", Named(kSetA, L"title"), Named(kSetA, L"title"), true},
        {"ASCII case differs", Named(kSetA, L"title"), Named(kSetA, L"TITLE"), true},
        {"ASCII case mixed", Named(kSetA, L"CreatorTool"), Named(kSetA, L"cREATORtOOL"), true},
        {"other name", Named(kSetA, L"title"), Named(kSetA, L"titles"), false},
        {"prefix", Named(kSetA, L"titles"), Named(kSetA, L"title"), false},
        {"empty names", Named(kSetA, L""), Named(kSetA, L""), true},
        {"other set, same name", Named(kSetA, L"title"), Named(kSetB, L"title"), false},
        {"name against id", Named(kSetA, L"2"), Numbered(kSetA, 2), false},
        {"id against name", Numbered(kSetA, 2), Named(kSetA, L"2"), false},
        // Only A-Z fold; accented letters and other neighbours compare exactly.
        {"non-ASCII case", Named(kSetA, L"\u00E9t\u00E9"), Named(kSetA, L"\u00C9T\u00C9"), false},
        {"non-ASCII exact", Named(kSetA, L"\u00E9t\u00E9"), Named(kSetA, L"\u00E9T\u00E9"), true},
        {"@ is not `", Named(kSetA, L"a@"), Named(kSetA, L"a`"), false},
        {"[ is not {", Named(kSetA, L"a["), Named(kSetA, L"a{"), false},
        {"_ is not DEL", Named(kSetA, L"_"), Named(kSetA, L"\x7F"), false},
        {"null name", Named(kSetA, nullptr), Named(kSetA, L"title"), false},
        {"both names null", Named(kSetA, nullptr), Named(kSetA, nullptr), false},
        {"unknown kind", oddKind, oddKindToo, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.equal, FullPropSpec::Matches(c.a, c.b)) << c.what;
        EXPECT_EQ(c.equal, FullPropSpec::Matches(c.b, c.a)) << c.what << " (reversed)";
    }
}

TEST(PropSpecMatching, RecordsAgainstHostAttributes) {
    // The three cases an administrator's query depends on.
    FullPropSpec titleSummary(FMTID_SummaryInformation, 2);
    FullPropSpec titleNamed(FMTID_XmpDublinCore, L"title");
    EXPECT_TRUE(titleSummary == Numbered(FMTID_SummaryInformation, 2));
    EXPECT_TRUE(titleNamed == Named(FMTID_XmpDublinCore, L"TITLE"));
    EXPECT_FALSE(FullPropSpec(FMTID_XmpDublinCore, L"2") == Numbered(FMTID_XmpDublinCore, 2));
    EXPECT_TRUE(titleNamed == FullPropSpec(FMTID_XmpDublinCore, L"Title"));
    EXPECT_FALSE(titleNamed == titleSummary);
}

TEST(MetadataPropSpecRecord, CopiesEveryMember) {
    MetadataPropSpec entry("http://ns.example/", "Camera/cs:Model", FullPropSpec(kSetA, L"Camera_Model"), VT_FILETIME);
    MetadataPropSpec copy(entry);
    EXPECT_EQ("http://ns.example/", copy.schemaNS);
    EXPECT_EQ("Camera/cs:Model", copy.propPath);
    EXPECT_EQ(VT_FILETIME, copy.type);
    EXPECT_NE(entry.propSpec.Name(), copy.propSpec.Name());
    EXPECT_STREQ(L"Camera_Model", copy.propSpec.Name());

    MetadataPropSpec assigned("a", "b", FullPropSpec(kSetB, 1), VT_INT);
    assigned = entry;
    EXPECT_EQ("Camera/cs:Model", assigned.propPath);
    EXPECT_STREQ(L"Camera_Model", assigned.propSpec.Name());
    EXPECT_EQ(VT_FILETIME, assigned.type);

    PropSpecList list{entry, copy};
    PropSpecList listCopy = list;
    EXPECT_NE(list.front().propSpec.Name(), listCopy.front().propSpec.Name());
}
