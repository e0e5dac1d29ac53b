// IPersistFile::Load: which document the object then holds, what GetCurFile
// reports, what Init and GetChunk do afterwards, and the exact log lines.
#include "EngineFixture.h"

#include "xmp/StandardSchemas.h"

using namespace velmora;
using namespace velmora::test;

namespace {

ComPtr<IPersistFile> FileFace(IFilter* filter) {
    ComPtr<IPersistFile> file;
    EXPECT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, file.PutVoid()));
    return file;
}

// GetCurFile's answer, and the name when there is one (freed here).
HRESULT CurrentFile(IFilter* filter, std::wstring& name) {
    LPOLESTR text = nullptr;
    const HRESULT hr = FileFace(filter)->GetCurFile(&text);
    name = text ? text : L"";
    CoTaskMemFree(text);
    return hr;
}

Lines AllChunks(IFilter* filter) {
    ULONG flags = 0;
    EXPECT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    const Drain drain = DrainFilter(filter);
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, drain.end);
    return Describe(drain);
}

}  // namespace

class EngineFileLoad : public EngineTest {};

TEST_F(EngineFileLoad, OutcomesAndLogLines) {
    const std::wstring standard = TestDataPath(L"standard.jpg");
    const std::wstring noXmp = TestDataPath(L"no-xmp.jpg");
    const std::wstring missing = scratch.File(L"missing.jpg");
    const std::wstring empty = TestDataPath(L"empty.bin");
    struct Case {
        const char* what;
        std::wstring path;
        HRESULT result;
        Lines log;
        HRESULT curFile;  // GetCurFile afterwards
        HRESULT init;     // Init afterwards
    };
    // The packet document adds its own level-3 line when it cannot read a file.
    const Case cases[] = {
        {"a document with XMP", standard, S_OK,
         Logged({L"INFO: entered IPersistFile::Load \n", L"INFO: loading for " + standard + L" \n",
                 L"INFO: XMP read by the JPEG handler, native metadata imported \n",
                 L"INFO: loaded for " + standard + L" \n"}),
         S_OK, S_OK},
        {"a document without XMP still loads", noXmp, S_OK,
         Logged({L"INFO: entered IPersistFile::Load \n", L"INFO: loading for " + noXmp + L" \n",
                 L"INFO: the JPEG handler found no metadata, searching for XMP packets \n",
                 L"INFO: XMP packet not found: " + noXmp + L" \n", L"INFO: loaded for " + noXmp + L" \n"}),
         S_OK, S_OK},
        {"a missing file", missing, E_FAIL,
         Logged({L"INFO: entered IPersistFile::Load \n", L"INFO: loading for " + missing + L" \n",
                 L"ERROR:  BinaryCopy failure error code = 0x80070006",
                 L"ERROR: document open failure: " + missing + L" \n"}),
         S_OK, E_FAIL},
        {"an empty file cannot be read", empty, E_FAIL,
         Logged({L"INFO: entered IPersistFile::Load \n", L"INFO: loading for " + empty + L" \n",
                 L"ERROR:  BinaryCopy failure error code = 0x80004005",
                 L"ERROR: document open failure: " + empty + L" \n"}),
         S_OK, E_FAIL},
        {"an empty name", L"", E_FAIL,
         Logged({L"INFO: entered IPersistFile::Load \n", L"INFO: loading for  \n",
                 L"ERROR: document open failure: (null) \n"}),
         E_FAIL, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IFilter> filter = NewFilter();
        LogCapture log;
        EXPECT_HR(c.result, FileFace(filter.Get())->Load(c.path.c_str(), STGM_READ));
        // Only the load's own lines (the QueryInterface above logs before Load).
        Lines lines = log.Lines();
        if (!lines.empty() && lines.front() == kLogPrefix + L"INFO: IPersistFile interface queried \n")
            lines.erase(lines.begin());
        EXPECT_EQ(c.log, lines);

        std::wstring name;
        EXPECT_HR(c.curFile, CurrentFile(filter.Get(), name));
        if (c.curFile == S_OK) {
            EXPECT_EQ(c.path, name);
        }
        ULONG flags = 0;
        EXPECT_HR(c.init, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
        STAT_CHUNK stat{};
        const HRESULT chunk = filter->GetChunk(&stat);
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
        if (c.init == E_FAIL) {
            EXPECT_HR(E_FAIL, chunk);
        } else {
            EXPECT_HR(c.path == standard ? S_OK : FILTER_E_END_OF_CHUNKS, chunk);
        }
    }
}

TEST_F(EngineFileLoad, LogLevels) {
    const std::wstring standard = TestDataPath(L"standard.jpg");
    const std::wstring missing = scratch.File(L"missing.jpg");
    struct Case {
        DWORD level;
        std::wstring path;
        Lines log;
    };
    const Case cases[] = {
        {0, standard, {}},
        {1, standard, {}},
        {1, missing, Logged({L"ERROR: document open failure: " + missing + L" \n"})},
        {2, standard,
         Logged({L"INFO: entered IPersistFile::Load \n", L"INFO: XMP read by the JPEG handler, native metadata imported \n",
                 L"INFO: loaded for " + standard + L" \n"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        RegistrySandbox::SetDword(kEngineKey, L"DebugMode", c.level);
        debugger.Initialize(kEngineKey.c_str(), kProductDisplayName);
        ComPtr<IFilter> filter = NewFilter();
        ComPtr<IPersistFile> file = FileFace(filter.Get());
        LogCapture log;
        file->Load(c.path.c_str(), 0);
        EXPECT_EQ(c.log, log.Lines());
    }
}

TEST_F(EngineFileLoad, NullNameChangesNothing) {
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    const Lines before = AllChunks(filter.Get());
    ASSERT_EQ(34u, before.size());
    ComPtr<IPersistFile> file = FileFace(filter.Get());
    LogCapture log;
    EXPECT_HR(E_INVALIDARG, file->Load(nullptr, 0));
    EXPECT_EQ(Logged({L"INFO: entered IPersistFile::Load \n"}), log.Lines());
    std::wstring name;
    EXPECT_HR(S_OK, CurrentFile(filter.Get(), name));
    EXPECT_EQ(TestDataPath(L"standard.jpg"), name);
    EXPECT_EQ(before, AllChunks(filter.Get()));
}

TEST_F(EngineFileLoad, SecondLoadReplacesTheFirst) {
    const std::wstring a = TestDataPath(L"standard.jpg");
    const std::wstring b = Document(L"b.xmp", "<dc:source>Only B</dc:source>");
    ComPtr<IFilter> filter = Loaded(a);
    ASSERT_EQ(34u, AllChunks(filter.Get()).size());

    ASSERT_HR(S_OK, FileFace(filter.Get())->Load(b.c_str(), 0));
    std::wstring name;
    EXPECT_HR(S_OK, CurrentFile(filter.Get(), name));
    EXPECT_EQ(b, name);
    EXPECT_EQ((Lines{L"1 V DublinCore/source LPWSTR=Only B", L"2 T Only B"}), AllChunks(filter.Get()));

    // A document without XMP after one with: its list is empty, not the old one.
    ASSERT_HR(S_OK, FileFace(filter.Get())->Load(TestDataPath(L"no-xmp.jpg").c_str(), 0));
    EXPECT_EQ(Lines{}, AllChunks(filter.Get()));

    // A failed load after a good one leaves no document, but keeps the new name.
    const std::wstring missing = scratch.File(L"gone.jpg");
    ASSERT_HR(S_OK, FileFace(filter.Get())->Load(a.c_str(), 0));
    EXPECT_HR(E_FAIL, FileFace(filter.Get())->Load(missing.c_str(), 0));
    EXPECT_HR(S_OK, CurrentFile(filter.Get(), name));
    EXPECT_EQ(missing, name);
    ULONG flags = 0;
    EXPECT_HR(E_FAIL, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    STAT_CHUNK stat{};
    EXPECT_HR(E_FAIL, filter->GetChunk(&stat));

    // And the object recovers with the next good load.
    ASSERT_HR(S_OK, FileFace(filter.Get())->Load(b.c_str(), 0));
    EXPECT_EQ((Lines{L"1 V DublinCore/source LPWSTR=Only B", L"2 T Only B"}), AllChunks(filter.Get()));
}

TEST_F(EngineFileLoad, LoadInTheMiddleOfAWalkNeedsANewInit) {
    const std::wstring b = Document(L"b.xmp", "<dc:source>Only B</dc:source>");
    // Stop in the value phase and in the text phase of the first document.
    for (int stop : {2, 20}) {
        SCOPED_TRACE(stop);
        ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
        ULONG flags = 0;
        ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
        STAT_CHUNK stat{};
        for (int i = 0; i < stop; ++i) {
            ASSERT_HR(S_OK, filter->GetChunk(&stat));
            if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
        }
        ASSERT_HR(S_OK, FileFace(filter.Get())->Load(b.c_str(), 0));
        // The old walk is over: nothing of either document until Init.
        const Drain stale = DrainFilter(filter.Get());
        EXPECT_EQ(Lines{}, Describe(stale));
        EXPECT_HR(FILTER_E_END_OF_CHUNKS, stale.end);
        EXPECT_EQ((Lines{L"1 V DublinCore/source LPWSTR=Only B", L"2 T Only B"}), AllChunks(filter.Get()));
    }
}

TEST_F(EngineFileLoad, ListIsTheConfigurationsStandardList) {
    // Loading copies the configuration's list as it is: here, one entry only.
    configuration->standardPropSpecs = {
        MetadataPropSpec(kXMP_NS_Photoshop, "Urgency", FullPropSpec(FMTID_XmpPhotoshop, L"Urgency"), VT_INT)};
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    // The document's Dublin Core texts, which no entry maps, still reach the
    // full text as its descriptive text.
    EXPECT_EQ((Lines{L"1 V Photoshop/Urgency INT=5", L"2 T 5", L"3 T Ana Lima", L"4 T Ben Okafor", L"5 T harbour",
                     L"6 T boats", L"7 T dawn", L"8 T Harbour at dawn", L"9 T(0x0407) Hafen im Morgengrauen"}),
              AllChunks(filter.Get()));

    // A document without XMP gets no list, so even a host naming it gets nothing.
    ComPtr<IFilter> bare = Loaded(TestDataPath(L"no-xmp.jpg"));
    Attribute urgency(FMTID_XmpPhotoshop, L"Urgency");
    ULONG flags = 0;
    ASSERT_HR(S_OK, bare->Init(0, 1, &urgency.Get(), &flags));
    EXPECT_EQ(Lines{}, Describe(DrainFilter(bare.Get())));
}

TEST_F(EngineFileLoad, DefaultSchemasSwitchReachesTheChunks) {
    // With Dublin Core off, the first chunk of the standard document is
    // Photoshop's; Dublin Core's texts reach the full text as descriptive text.
    RegistrySandbox::SetDword(kEngineKey + L"\\DefaultSchemas", L"DC", 0);
    configuration = std::make_unique<VelmoraConfiguration>(kEngineKey);
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    EXPECT_EQ((Lines{L"1 V Photoshop/Urgency INT=5", L"2 V SummaryInformation/12 FILETIME=2024-05-04T04:20:30Z",
                     L"3 V XmpBasic/CreateDate FILETIME=2024-05-04T04:20:30Z", L"4 T 5",
                     L"5 T 2024-05-04T06:20:30+02:00", L"6 T 2024-05-04T06:20:30+02:00", L"7 T Ana Lima",
                     L"8 T Ben Okafor", L"9 T harbour", L"10 T boats", L"11 T dawn", L"12 T Harbour at dawn",
                     L"13 T(0x0407) Hafen im Morgengrauen"}),
              AllChunks(filter.Get()));
}
