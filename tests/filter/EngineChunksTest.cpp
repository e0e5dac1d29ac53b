// What a host receives from a loaded document: value chunks in list order,
// one per value, then every value read once more as a text chunk, then
// FILTER_E_END_OF_CHUNKS. Each case is a document, the Init arguments and
// the chunks that come back.
#include "EngineFixture.h"
#include "StandardChunks.h"

#include "xmp/StandardSchemas.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const GUID& kSummary = FMTID_SummaryInformation;
const GUID& kDc = FMTID_XmpDublinCore;
const GUID& kPs = FMTID_XmpPhotoshop;
const GUID& kXap = FMTID_XmpBasic;

struct Case {
    const char* what;
    ULONG flags;
    std::vector<Attribute> attributes;
    Lines chunks;
};

Drain InitAndDrain(IFilter* filter, ULONG flags, std::vector<Attribute> attributes) {
    std::vector<FULLPROPSPEC> specs = Specs(attributes);
    ULONG reported = 0xFFFFFFFF;
    EXPECT_HR(S_OK, filter->Init(flags, static_cast<ULONG>(specs.size()), specs.empty() ? nullptr : specs.data(),
                                 &reported));
    EXPECT_EQ(0u, reported);
    return DrainFilter(filter);
}

void RunCases(IFilter* filter, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Drain drain = InitAndDrain(filter, c.flags, c.attributes);
        EXPECT_EQ(c.chunks, Describe(drain));
        ExpectWellFormed(drain);
    }
}

const Lines& kStandardJpeg = kStandardJpegChunks;

}  // namespace

class EngineChunks : public EngineTest {};

TEST_F(EngineChunks, StandardJpegWholeSequence) {
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    const Drain drain = InitAndDrain(filter.Get(), IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {});
    EXPECT_EQ(kStandardJpeg, Describe(drain));
    ExpectWellFormed(drain);
    for (const Chunk& chunk : drain.chunks) {
        if (chunk.stat.flags != CHUNK_VALUE) continue;
        EXPECT_HR(S_OK, chunk.valueResult);
    }
}

TEST_F(EngineChunks, StandardJpegByHostAttributes) {
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    const std::vector<Case> cases = {
        {"summary title only", 0, {{kSummary, PROPID{2}}},
         {L"1 V SummaryInformation/2 LPWSTR=Harbour at dawn", L"2 V SummaryInformation/2 LPWSTR=Hafen im Morgengrauen",
          L"3 T Harbour at dawn", L"4 T(0x0407) Hafen im Morgengrauen"}},
        {"host order reversed: list order wins",
         0,
         {{kXap, L"CreateDate"}, {kPs, L"Urgency"}, {kDc, L"creator"}},
         {L"1 V DublinCore/creator LPWSTR=Ana Lima", L"2 V DublinCore/creator LPWSTR=Ben Okafor",
          L"3 V Photoshop/Urgency INT=5", L"4 V XmpBasic/CreateDate FILETIME=2024-05-04T04:20:30Z", L"5 T Ana Lima",
          L"6 T Ben Okafor", L"7 T 5", L"8 T 2024-05-04T06:20:30+02:00"}},
        {"names differing only in ASCII case match",
         0,
         {{kDc, L"TITLE"}, {kPs, L"uRGENCY"}},
         {L"1 V DublinCore/title LPWSTR=Harbour at dawn", L"2 V DublinCore/title LPWSTR=Hafen im Morgengrauen",
          L"3 V Photoshop/Urgency INT=5", L"4 T Harbour at dawn", L"5 T(0x0407) Hafen im Morgengrauen", L"6 T 5"}},
        {"an attribute named twice selects its entry once",
         0,
         {{kPs, L"Urgency"}, {kPs, L"urgency"}, {kPs, L"Urgency"}},
         {L"1 V Photoshop/Urgency INT=5", L"2 T 5"}},
        {"wrong set, or an identifier for a named property, or a name for a numbered one, match nothing",
         IFILTER_INIT_APPLY_INDEX_ATTRIBUTES,
         {{kPs, L"title"}, {kDc, PROPID{2}}, {kSummary, L"2"}, {kXap, L"Urgency"}, {kDc, L"titl"}},
         {}},
        {"both rows of a doubly mapped property, asked for in one call",
         0,
         {{kXap, L"createdate"}, {kSummary, PROPID{12}}},
         {L"1 V SummaryInformation/12 FILETIME=2024-05-04T04:20:30Z",
          L"2 V XmpBasic/CreateDate FILETIME=2024-05-04T04:20:30Z", L"3 T 2024-05-04T06:20:30+02:00",
          L"4 T 2024-05-04T06:20:30+02:00"}},
        {"properties the document does not hold give nothing", 0, {{kDc, L"rights"}, {kXap, L"Nickname"}}, {}},
        {"other Init flags are ignored", IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_INDEXING_ONLY,
         {{kSummary, PROPID{4}}},
         {L"1 V SummaryInformation/4 LPWSTR=Ana Lima", L"2 V SummaryInformation/4 LPWSTR=Ben Okafor",
          L"3 T Ana Lima", L"4 T Ben Okafor"}},
        {"no attributes and no index flag: nothing at all", 0, {}, {}},
        {"no attributes, other flags only: nothing", IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_HARD_LINE_BREAKS, {},
         {}},
    };
    RunCases(filter.Get(), cases);
}

TEST_F(EngineChunks, InitZeroGivesNothingEvenOnAFullDocument) {
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    ULONG flags = 0xFFFFFFFF;
    ASSERT_HR(S_OK, filter->Init(0, 0, nullptr, &flags));
    EXPECT_EQ(0u, flags);
    STAT_CHUNK stat{};
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
    EXPECT_EQ(1u, stat.idChunk);
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
}

TEST_F(EngineChunks, DocumentsWithoutXmp) {
    const std::wstring files[] = {TestDataPath(L"no-xmp.jpg"), TestDataPath(L"binary-no-packet.bin"),
                                  TestDataPath(L"invalid-xml-packet.bin")};
    for (const std::wstring& path : files) {
        SCOPED_TRACE(Narrow(path));
        ComPtr<IFilter> filter = Loaded(path);
        RunCases(filter.Get(), {{"index attributes", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {}, {}},
                                {"named attribute", 0, {{kSummary, PROPID{2}}}, {}}});
    }
}

TEST_F(EngineChunks, HandMadeDocuments) {
    struct DocumentCase {
        const char* what;
        std::string properties;
        Case request;
    };
    const DocumentCase cases[] = {
        {"an array of three gives three value chunks with one attribute, then three texts",
         "<dc:subject><rdf:Bag><rdf:li>one</rdf:li><rdf:li>two</rdf:li><rdf:li>three</rdf:li></rdf:Bag></dc:subject>",
         {"", 0, {{kDc, L"subject"}},
          {L"1 V DublinCore/subject LPWSTR=one", L"2 V DublinCore/subject LPWSTR=two",
           L"3 V DublinCore/subject LPWSTR=three", L"4 T one", L"5 T two", L"6 T three"}}},
        {"a title in three languages: one value per alternative, in stored order, each text in its language",
         "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour</rdf:li><rdf:li xml:lang='de'>Hafen</rdf:li>"
         "<rdf:li xml:lang='fr'>Port</rdf:li></rdf:Alt></dc:title>",
         {"", 0, {{kSummary, PROPID{2}}},
          {L"1 V SummaryInformation/2 LPWSTR=Harbour", L"2 V SummaryInformation/2 LPWSTR=Hafen",
           L"3 V SummaryInformation/2 LPWSTR=Port", L"4 T Harbour", L"5 T(0x0407) Hafen", L"6 T(0x040C) Port"}}},
        {"three properties with one value each",
         "<dc:source>Archive</dc:source><photoshop:City>Porto</photoshop:City><xmp:Nickname>pier</xmp:Nickname>",
         {"", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {},
          {L"1 V DublinCore/source LPWSTR=Archive", L"2 V Photoshop/City LPWSTR=Porto",
           L"3 V XmpBasic/Nickname LPWSTR=pier", L"4 T Archive", L"5 T Porto", L"6 T pier"}}},
        {"a value that fails its type conversion gives no value chunk but is still text",
         "<photoshop:Urgency>soon</photoshop:Urgency><xmp:ModifyDate>yesterday</xmp:ModifyDate>"
         "<dc:format>image/jpeg</dc:format>",
         {"", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {},
          {L"1 V DublinCore/format LPWSTR=image/jpeg", L"2 T image/jpeg", L"3 T soon", L"4 T yesterday",
           L"5 T yesterday"}}},
        {"an array item that is no date gives no value chunk, and the items after it still do",
         "<dc:date><rdf:Seq><rdf:li>2001-02-03T04:05:06Z</rdf:li><rdf:li>yesterday</rdf:li>"
         "<rdf:li>2008-09-10T11:12:13Z</rdf:li></rdf:Seq></dc:date>",
         {"", 0, {{kDc, L"date"}},
          {L"1 V DublinCore/date FILETIME=2001-02-03T04:05:06Z", L"2 V DublinCore/date FILETIME=2008-09-10T11:12:13Z",
           L"3 T 2001-02-03T04:05:06Z", L"4 T yesterday", L"5 T 2008-09-10T11:12:13Z"}}},
        {"the same date under the last-save identifier and under ModifyDate",
         "<xmp:ModifyDate>2007-01-02T03:04:05Z</xmp:ModifyDate>",
         {"", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {},
          {L"1 V SummaryInformation/13 FILETIME=2007-01-02T03:04:05Z",
           L"2 V XmpBasic/ModifyDate FILETIME=2007-01-02T03:04:05Z", L"3 T 2007-01-02T03:04:05Z",
           L"4 T 2007-01-02T03:04:05Z"}}},
        {"an empty value is an empty value chunk and an empty text chunk", "<dc:source></dc:source>",
         {"", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {}, {L"1 V DublinCore/source LPWSTR=", L"2 T "}}},
        {"a struct gives nothing",
         "<dc:source rdf:parseType='Resource'><dc:format>inner</dc:format></dc:source>",
         {"", 0, {{kDc, L"source"}}, {}}},
    };
    for (const DocumentCase& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IFilter> filter = Loaded(Document(L"doc.xmp", c.properties));
        RunCases(filter.Get(), {c.request});
    }
}

TEST_F(EngineChunks, JoinModeJoinsTextArraysButTextsStaySeparate) {
    configuration->multipleInstancesMode = 1;
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    RunCases(filter.Get(),
             {{"", 0, {{kSummary, PROPID{4}}, {kPs, L"Urgency"}, {kXap, L"CreateDate"}},
               {L"1 V SummaryInformation/4 LPWSTR=Ana Lima Ben Okafor ", L"2 V Photoshop/Urgency INT=5",
                L"3 V XmpBasic/CreateDate FILETIME=2024-05-04T04:20:30Z", L"4 T Ana Lima", L"5 T Ben Okafor",
                L"6 T 5", L"7 T 2024-05-04T06:20:30+02:00"}}});
}

TEST_F(EngineChunks, SeveralListEntriesMatchingOneAttributeAreAllSelected) {
    // A list of the product's own making: two entries share one host property.
    const GUID shared = {0x0C0FFEE0, 0x1234, 0x4321, {1, 2, 3, 4, 5, 6, 7, 8}};
    configuration->standardPropSpecs = {
        MetadataPropSpec(kXMP_NS_DC, "source", FullPropSpec(shared, L"origin"), VT_LPWSTR),
        MetadataPropSpec(kXMP_NS_DC, "format", FullPropSpec(kDc, L"format"), VT_LPWSTR),
        MetadataPropSpec(kXMP_NS_Photoshop, "City", FullPropSpec(shared, L"Origin"), VT_LPWSTR),
    };
    ComPtr<IFilter> filter = Loaded(Document(L"shared.xmp",
                                             "<dc:source>Archive</dc:source><dc:format>image/png</dc:format>"
                                             "<photoshop:City>Porto</photoshop:City>"));
    const std::wstring set = GuidString(shared);
    RunCases(filter.Get(), {{"", 0, {{shared, L"ORIGIN"}},
                             {L"1 V " + set + L"/origin LPWSTR=Archive", L"2 V " + set + L"/Origin LPWSTR=Porto",
                              L"3 T Archive", L"4 T Porto"}}});
}

TEST_F(EngineChunks, EverySecondInitStartsAgainAtOne) {
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    const Case all = {"", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, {}, kStandardJpeg};
    RunCases(filter.Get(), {all, all});

    // Init in the middle of the value phase, and in the middle of the text phase.
    for (int stop : {3, 20}) {
        SCOPED_TRACE(stop);
        ULONG flags = 0;
        ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
        for (int i = 0; i < stop; ++i) {
            STAT_CHUNK stat{};
            ASSERT_HR(S_OK, filter->GetChunk(&stat));
            if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
        }
        RunCases(filter.Get(), {all});
    }
}
