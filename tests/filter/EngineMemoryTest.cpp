// Memory that crosses to the host, counted by a real IMallocSpy: every
// attribute name, PROPVARIANT and GetCurFile string is the host's to free,
// and a host that frees them leaves nothing outstanding. Allocation failures
// injected through the spy give the documented codes and lose nothing.
#include "EngineFixture.h"

#include "MallocSpy.h"
#include "xmp/StandardSchemas.h"

using namespace velmora;
using namespace velmora::test;

namespace {

struct ComScope {
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
};

HRESULT LoadInto(IFilter* filter, const std::wstring& path) {
    ComPtr<IPersistFile> file;
    const HRESULT hr = filter->QueryInterface(IID_IPersistFile, file.PutVoid());
    if (FAILED(hr)) return hr;
    return file->Load(path.c_str(), 0);
}

HRESULT InitAll(IFilter* filter) {
    ULONG flags = 0;
    return filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
}

HRESULT InitOne(IFilter* filter, Attribute attribute) {
    ULONG flags = 0;
    return filter->Init(0, 1, &attribute.Get(), &flags);
}

}  // namespace

// The spy is registered before the filter object exists, and revoked after
// it is gone; the configuration's own copies predate it and are not counted.
class EngineMemory : public EngineTest {
protected:
    ComScope com;
    std::unique_ptr<MallocSpy> spy;

    void SetUp() override {
        EngineTest::SetUp();
        spy = std::make_unique<MallocSpy>();
        ASSERT_TRUE(spy->Registered());
    }
    void TearDown() override {
        spy.reset();
        EngineTest::TearDown();
    }
};

TEST_F(EngineMemory, AWholeDocumentLeavesNothingOutstanding) {
    {
        ComPtr<IFilter> filter = NewFilter();
        ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
        // The object's list points at the configuration's entries: a document
        // copies none of their names.
        EXPECT_EQ(0u, spy->Allocations());

        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_HR(S_OK, InitAll(filter.Get()));
            const size_t before = spy->Allocations();
            const Drain drain = DrainFilter(filter.Get());  // frees every name and PROPVARIANT
            ASSERT_EQ(34u, drain.chunks.size());
            // Exactly what the host was handed: a PROPVARIANT per value chunk,
            // a name for the 9 named ones and a string for the 14 text values.
            EXPECT_EQ(17u + 9u + 14u, spy->Allocations() - before);
        }

        ComPtr<IPersistFile> file;
        ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, file.PutVoid()));
        LPOLESTR name = nullptr;
        ASSERT_HR(S_OK, file->GetCurFile(&name));
        EXPECT_EQ(TestDataPath(L"standard.jpg"), name);
        CoTaskMemFree(name);
        EXPECT_EQ(0u, spy->Outstanding());  // the object holds no memory of the host's kind
    }
    EXPECT_EQ(0u, spy->Outstanding());
    EXPECT_EQ(spy->Allocations(), spy->Frees());
}

TEST_F(EngineMemory, ReleasingInTheMiddleLeavesNothingOutstanding) {
    for (int stop : {0, 1, 5, 17, 18, 25}) {
        SCOPED_TRACE(stop);
        {
            ComPtr<IFilter> filter = NewFilter();
            ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
            ASSERT_HR(S_OK, InitAll(filter.Get()));
            const Drain drain = DrainFilter(filter.Get(), 4096, static_cast<size_t>(stop));
            EXPECT_EQ(static_cast<size_t>(stop), drain.chunks.size());
            // A value chunk whose value the host never takes.
            STAT_CHUNK stat{};
            if (filter->GetChunk(&stat) == S_OK && stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR)
                CoTaskMemFree(stat.attribute.psProperty.lpwstr);
        }
        EXPECT_EQ(0u, spy->Outstanding());
    }
}

TEST_F(EngineMemory, ReloadingAndFailedLoadsLeaveNothingOutstanding) {
    {
        ComPtr<IFilter> filter = NewFilter();
        const std::wstring paths[] = {TestDataPath(L"standard.jpg"), TestDataPath(L"standard.jpg"),
                                      TestDataPath(L"no-xmp.jpg"), scratch.File(L"missing.jpg"), L"",
                                      TestDataPath(L"standard.jpg")};
        for (const std::wstring& path : paths) {
            LoadInto(filter.Get(), path);
            if (InitAll(filter.Get()) == S_OK) DrainFilter(filter.Get());
        }
    }
    EXPECT_EQ(0u, spy->Outstanding());
}

TEST_F(EngineMemory, ValueAllocationFailures) {
    ComPtr<IFilter> filter = NewFilter();
    ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
    struct Case {
        const char* what;
        Attribute attribute;
        size_t skip;  // allocations that succeed before the one that fails
        HRESULT result;
    };
    const Case cases[] = {
        {"no PROPVARIANT for a text value", {FMTID_SummaryInformation, PROPID{4}}, 0, E_OUTOFMEMORY},
        {"no string for a text value", {FMTID_SummaryInformation, PROPID{4}}, 1, E_OUTOFMEMORY},
        {"no PROPVARIANT for a number", {FMTID_XmpPhotoshop, L"Urgency"}, 0, E_OUTOFMEMORY},
        {"no PROPVARIANT for a date", {FMTID_SummaryInformation, PROPID{12}}, 0, E_OUTOFMEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_HR(S_OK, InitOne(filter.Get(), c.attribute));
        STAT_CHUNK stat{};
        ASSERT_HR(S_OK, filter->GetChunk(&stat));
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
        const size_t outstanding = spy->Outstanding();
        spy->FailAllocations(1, c.skip);
        PROPVARIANT* value = reinterpret_cast<PROPVARIANT*>(1);
        EXPECT_HR(c.result, filter->GetValue(&value));
        spy->FailAllocations(0);
        EXPECT_EQ(reinterpret_cast<PROPVARIANT*>(1), value);  // nothing handed over
        EXPECT_EQ(outstanding, spy->Outstanding());         // and nothing kept
        // The value counts as handed out.
        EXPECT_HR(FILTER_E_NO_MORE_VALUES, filter->GetValue(&value));
    }
    EXPECT_EQ(4u, spy->FailedAllocations());
}

// A chunk whose property name cannot be copied is not handed out with no
// name: GetChunk answers E_OUTOFMEMORY, the chunk has no value to give, and
// the next chunk (here the text of the value read) follows with its own id.
TEST_F(EngineMemory, AttributeNameAllocationFailureIsOutOfMemory) {
    ComPtr<IFilter> filter = NewFilter();
    ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
    ASSERT_HR(S_OK, InitOne(filter.Get(), {FMTID_XmpPhotoshop, L"Urgency"}));
    STAT_CHUNK stat{};
    spy->FailAllocations(1);
    ASSERT_HR(E_OUTOFMEMORY, filter->GetChunk(&stat));
    spy->FailAllocations(0);
    EXPECT_EQ(nullptr, stat.attribute.psProperty.lpwstr);
    PROPVARIANT* value = nullptr;
    EXPECT_HR(FILTER_E_NO_VALUES, filter->GetValue(&value));
    EXPECT_EQ(nullptr, value);
    ASSERT_HR(S_OK, filter->GetChunk(&stat));
    EXPECT_EQ(1u, stat.idChunk);
    EXPECT_EQ(static_cast<DWORD>(CHUNK_TEXT), static_cast<DWORD>(stat.flags));
}

TEST_F(EngineMemory, GetCurFileAllocationFailure) {
    ComPtr<IFilter> filter = NewFilter();
    ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"no-xmp.jpg")));
    ComPtr<IPersistFile> file;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, file.PutVoid()));
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    spy->FailAllocations(1);
    EXPECT_HR(E_OUTOFMEMORY, file->GetCurFile(&name));
    spy->FailAllocations(0);
    EXPECT_EQ(nullptr, name);
    ASSERT_HR(S_OK, file->GetCurFile(&name));
    CoTaskMemFree(name);
}

TEST_F(EngineMemory, InitCopiesNoHostMemorySoCannotRunOutOfIt) {
    ComPtr<IFilter> filter = NewFilter();
    ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
    ASSERT_HR(S_OK, InitAll(filter.Get()));
    ASSERT_EQ(34u, DrainFilter(filter.Get()).chunks.size());

    // The selection points at the list's entries: Init copies no name, so
    // it succeeds when every such allocation would fail, and the walk that
    // follows is the whole document once allocations succeed again.
    spy->FailAllocations(1000);
    ULONG flags = 0x1234;
    EXPECT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    spy->FailAllocations(0);
    EXPECT_EQ(0u, spy->FailedAllocations());
    EXPECT_EQ(34u, DrainFilter(filter.Get()).chunks.size());

    ASSERT_HR(S_OK, InitAll(filter.Get()));
    EXPECT_EQ(34u, DrainFilter(filter.Get()).chunks.size());
}

TEST_F(EngineMemory, LoadCopiesNoHostMemorySoCannotRunOutOfIt) {
    ComPtr<IFilter> filter = NewFilter();
    ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"no-xmp.jpg")));
    // The object's list points at the configuration's entries: loading
    // copies no name, so it succeeds when every such allocation would fail.
    spy->FailAllocations(1000);
    EXPECT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
    spy->FailAllocations(0);
    EXPECT_EQ(0u, spy->FailedAllocations());
    ASSERT_HR(S_OK, LoadInto(filter.Get(), TestDataPath(L"standard.jpg")));
    ASSERT_HR(S_OK, InitAll(filter.Get()));
    EXPECT_EQ(34u, DrainFilter(filter.Get()).chunks.size());
}
