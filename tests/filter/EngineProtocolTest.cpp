// The IFilter protocol call by call: what GetText and GetValue answer in
// each state of a chunk, argument checks, the COM identity of the object and
// the module count it holds.
#include "EngineFixture.h"

#include "xmp/StandardSchemas.h"

#include <cstring>

using namespace velmora;
using namespace velmora::test;

namespace {

const GUID& kDc = FMTID_XmpDublinCore;

// Frees the attribute name a value chunk hands over.
void FreeAttribute(STAT_CHUNK& stat) {
    if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
    stat.attribute.psProperty.lpwstr = nullptr;
}

HRESULT InitFor(IFilter* filter, std::vector<Attribute> attributes) {
    std::vector<FULLPROPSPEC> specs = Specs(attributes);
    ULONG flags = 0;
    return filter->Init(0, static_cast<ULONG>(specs.size()), specs.data(), &flags);
}

HRESULT NextChunk(IFilter* filter, STAT_CHUNK& stat) {
    stat = STAT_CHUNK{};
    const HRESULT hr = filter->GetChunk(&stat);
    FreeAttribute(stat);
    return hr;
}

HRESULT TakeValue(IFilter* filter, std::wstring* text = nullptr) {
    PROPVARIANT* value = nullptr;
    const HRESULT hr = filter->GetValue(&value);
    if (value) {
        if (text && value->vt == VT_LPWSTR) *text = value->pwszVal;
        PropVariantClear(value);
        CoTaskMemFree(value);
    }
    return hr;
}

}  // namespace

class EngineProtocol : public EngineTest {};

TEST_F(EngineProtocol, GetTextHandsOutPiecesOfTheBufferSize) {
    ComPtr<IFilter> filter = Loaded(Document(L"ten.xmp", "<dc:source>0123456789</dc:source>"));
    ASSERT_HR(S_OK, InitFor(filter.Get(), {{kDc, L"source"}}));
    STAT_CHUNK stat{};
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));  // the value chunk
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));  // its text chunk
    ASSERT_EQ(static_cast<DWORD>(CHUNK_TEXT), static_cast<DWORD>(stat.flags));

    struct Step {
        HRESULT result;
        ULONG size;
        std::wstring text;
    };
    const Step steps[] = {
        {S_OK, 4, L"0123"},
        {S_OK, 4, L"4567"},
        {FILTER_S_LAST_TEXT, 2, L"89"},
        {FILTER_E_NO_MORE_TEXT, 4, L""},
        {FILTER_E_NO_MORE_TEXT, 4, L""},
    };
    for (const Step& step : steps) {
        WCHAR buffer[5] = {L'#', L'#', L'#', L'#', L'#'};
        ULONG size = 4;
        EXPECT_HR(step.result, filter->GetText(&size, buffer));
        EXPECT_EQ(step.size, size);
        EXPECT_EQ(L'#', buffer[4]);  // nothing written past the pieces, no terminator added
        if (FAILED(step.result)) {
            EXPECT_EQ(L'#', buffer[0]);
            continue;
        }
        EXPECT_EQ(step.text, std::wstring(buffer, size));
    }
    EXPECT_HR(FILTER_E_NO_VALUES, TakeValue(filter.Get()));
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, NextChunk(filter.Get(), stat));
}

TEST_F(EngineProtocol, GetTextPieceSizes) {
    ComPtr<IFilter> filter = Loaded(Document(L"ten.xmp", "<dc:source>0123456789</dc:source>"));
    struct Case {
        ULONG buffer;
        std::vector<ULONG> pieces;
        std::vector<HRESULT> results;
    };
    const Case cases[] = {
        {10, {10}, {FILTER_S_LAST_TEXT}},
        {11, {10}, {FILTER_S_LAST_TEXT}},
        {5, {5, 5}, {S_OK, FILTER_S_LAST_TEXT}},
        {3, {3, 3, 3, 1}, {S_OK, S_OK, S_OK, FILTER_S_LAST_TEXT}},
        {1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, FILTER_S_LAST_TEXT}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buffer);
        ASSERT_HR(S_OK, InitFor(filter.Get(), {{kDc, L"source"}}));
        const Drain drain = DrainFilter(filter.Get(), c.buffer);
        ASSERT_EQ(2u, drain.chunks.size());
        EXPECT_EQ(c.pieces, drain.chunks[1].pieces);
        EXPECT_EQ(c.results, drain.chunks[1].textResults);
        EXPECT_EQ(L"0123456789", drain.chunks[1].text);
    }
}

TEST_F(EngineProtocol, EmptyTextEndsAtOnce) {
    ComPtr<IFilter> filter = Loaded(Document(L"empty.xmp", "<dc:source></dc:source>"));
    ASSERT_HR(S_OK, InitFor(filter.Get(), {{kDc, L"source"}}));
    STAT_CHUNK stat{};
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));
    std::wstring text = L"unset";
    EXPECT_HR(S_OK, TakeValue(filter.Get(), &text));
    EXPECT_EQ(L"", text);
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));
    ASSERT_EQ(static_cast<DWORD>(CHUNK_TEXT), static_cast<DWORD>(stat.flags));
    WCHAR buffer[8];
    ULONG size = 8;
    EXPECT_HR(FILTER_E_NO_MORE_TEXT, filter->GetText(&size, buffer));
    EXPECT_HR(FILTER_E_NO_MORE_TEXT, filter->GetText(&size, buffer));
}

TEST_F(EngineProtocol, WhatEachStateAnswers) {
    ComPtr<IFilter> filter = Loaded(Document(L"one.xmp", "<dc:source>Archive</dc:source>"));
    WCHAR buffer[16];
    ULONG size = 16;
    STAT_CHUNK stat{};

    // Initialised, no chunk yet.
    ASSERT_HR(S_OK, InitFor(filter.Get(), {{kDc, L"source"}}));
    EXPECT_HR(FILTER_E_NO_TEXT, filter->GetText(&size, buffer));
    EXPECT_HR(FILTER_E_NO_VALUES, TakeValue(filter.Get()));

    // A value chunk: no text; the value once, then no more.
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));
    EXPECT_EQ(static_cast<DWORD>(CHUNK_VALUE), static_cast<DWORD>(stat.flags));
    size = 16;
    EXPECT_HR(FILTER_E_NO_TEXT, filter->GetText(&size, buffer));
    std::wstring text;
    EXPECT_HR(S_OK, TakeValue(filter.Get(), &text));
    EXPECT_EQ(L"Archive", text);
    EXPECT_HR(FILTER_E_NO_MORE_VALUES, TakeValue(filter.Get()));
    EXPECT_HR(FILTER_E_NO_MORE_VALUES, TakeValue(filter.Get()));
    size = 16;
    EXPECT_HR(FILTER_E_NO_TEXT, filter->GetText(&size, buffer));

    // A text chunk: no values, before and after its text.
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));
    EXPECT_EQ(static_cast<DWORD>(CHUNK_TEXT), static_cast<DWORD>(stat.flags));
    EXPECT_HR(FILTER_E_NO_VALUES, TakeValue(filter.Get()));
    size = 16;
    EXPECT_HR(FILTER_S_LAST_TEXT, filter->GetText(&size, buffer));
    EXPECT_EQ(7u, size);
    EXPECT_HR(FILTER_E_NO_VALUES, TakeValue(filter.Get()));

    // The end: neither, and the end again on every further call.
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, NextChunk(filter.Get(), stat));
    EXPECT_EQ(3u, stat.idChunk);
    size = 16;
    EXPECT_HR(FILTER_E_NO_TEXT, filter->GetText(&size, buffer));
    EXPECT_HR(FILTER_E_NO_VALUES, TakeValue(filter.Get()));
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, NextChunk(filter.Get(), stat));
    EXPECT_EQ(3u, stat.idChunk);
}

TEST_F(EngineProtocol, SkippingValuesAndTextIsAllowed) {
    // A host that never calls GetValue or GetText still walks every chunk.
    ComPtr<IFilter> filter = Loaded(TestDataPath(L"standard.jpg"));
    ULONG flags = 0;
    ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    STAT_CHUNK stat{};
    ULONG chunks = 0;
    while (NextChunk(filter.Get(), stat) == S_OK) ++chunks;
    EXPECT_EQ(34u, chunks);
}

TEST_F(EngineProtocol, CallsWithoutADocument) {
    ComPtr<IFilter> filter = NewFilter();
    ULONG flags = 0x1234;
    EXPECT_HR(E_FAIL, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    EXPECT_EQ(0x1234u, flags);

    STAT_CHUNK stat;
    std::memset(&stat, 0xA5, sizeof stat);
    EXPECT_HR(E_FAIL, filter->GetChunk(&stat));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&stat);
    for (size_t i = 0; i < sizeof stat; ++i) ASSERT_EQ(0xA5, bytes[i]) << "byte " << i;

    WCHAR buffer[4];
    ULONG size = 4;
    EXPECT_HR(FILTER_E_NO_TEXT, filter->GetText(&size, buffer));
    EXPECT_HR(FILTER_E_NO_VALUES, TakeValue(filter.Get()));
}

TEST_F(EngineProtocol, ArgumentChecks) {
    ComPtr<IFilter> filter = Loaded(Document(L"one.xmp", "<dc:source>Archive</dc:source>"));
    ComPtr<IFilter> unloaded = NewFilter();
    ULONG flags = 0x1234;
    // Attributes counted but not given: refused before anything else, loaded or not.
    EXPECT_HR(E_INVALIDARG, filter->Init(0, 1, nullptr, &flags));
    EXPECT_HR(E_INVALIDARG, unloaded->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 3, nullptr, &flags));
    EXPECT_EQ(0x1234u, flags);
    // Null out-parameters are refused instead of written through.
    EXPECT_HR(E_POINTER, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, nullptr));
    ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    EXPECT_HR(E_POINTER, filter->GetChunk(nullptr));
    STAT_CHUNK stat{};
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));
    EXPECT_HR(E_POINTER, filter->GetValue(nullptr));
    EXPECT_HR(S_OK, TakeValue(filter.Get()));  // the refused call did not use the value up
    ASSERT_HR(S_OK, NextChunk(filter.Get(), stat));
    ULONG size = 4;
    WCHAR buffer[4];
    EXPECT_HR(E_POINTER, filter->GetText(nullptr, buffer));
    EXPECT_HR(E_POINTER, filter->GetText(&size, nullptr));
    EXPECT_HR(S_OK, filter->GetText(&size, buffer));
    EXPECT_EQ(std::wstring(L"Arch"), std::wstring(buffer, size));

    IUnknown* region = reinterpret_cast<IUnknown*>(1);
    FILTERREGION where{1, 0, 4};
    EXPECT_HR(E_NOTIMPL, filter->BindRegion(where, IID_IUnknown, reinterpret_cast<void**>(&region)));
}

TEST_F(EngineProtocol, QueryInterfaceFacesAndIdentity) {
    ComPtr<IFilter> filter = NewFilter();
    LogCapture log;
    struct Case {
        const IID* iid;
        HRESULT result;
        Lines log;
    };
    const Case cases[] = {
        {&IID_IFilter, S_OK, {}},
        {&IID_IPersistFile, S_OK, Logged({L"INFO: IPersistFile interface queried \n"})},
        {&IID_IPersistStream, S_OK, Logged({L"INFO: IPersistStream interface queried \n"})},
        {&IID_IPersist, S_OK, {}},
        {&IID_IUnknown, S_OK, {}},
        {&IID_IPersistStorage, E_NOINTERFACE, Logged({L"ERROR: interface is not supported \n"})},
        {&IID_IClassFactory, E_NOINTERFACE, Logged({L"ERROR: interface is not supported \n"})},
        {&IID_IStream, E_NOINTERFACE, Logged({L"ERROR: interface is not supported \n"})},
    };
    for (const Case& c : cases) {
        log.Clear();
        void* face = reinterpret_cast<void*>(1);
        EXPECT_HR(c.result, filter->QueryInterface(*c.iid, &face));
        EXPECT_EQ(c.log, log.Lines());
        if (FAILED(c.result)) {
            EXPECT_EQ(nullptr, face);
            continue;
        }
        static_cast<IUnknown*>(face)->Release();
    }

    ComPtr<IUnknown> unknown, persist, persistFile, persistStream, again;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IUnknown, unknown.PutVoid()));
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersist, persist.PutVoid()));
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, persistFile.PutVoid()));
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistStream, persistStream.PutVoid()));
    EXPECT_EQ(unknown.Get(), persistFile.Get());
    EXPECT_EQ(persist.Get(), persistFile.Get());
    EXPECT_NE(static_cast<IUnknown*>(filter.Get()), unknown.Get());
    // Every face leads back to the same identity.
    ASSERT_HR(S_OK, persistStream->QueryInterface(IID_IUnknown, again.PutVoid()));
    EXPECT_EQ(unknown.Get(), again.Get());
    ComPtr<IFilter> filterAgain;
    ASSERT_HR(S_OK, persistStream->QueryInterface(IID_IFilter, filterAgain.PutVoid()));
    EXPECT_EQ(filter.Get(), filterAgain.Get());

    EXPECT_HR(E_POINTER, filter->QueryInterface(IID_IFilter, nullptr));
}

TEST_F(EngineProtocol, OneReferenceCountForAllFaces) {
    auto* object = new CVelmora(*configuration);
    IFilter* filter = object;
    EXPECT_EQ(2u, filter->AddRef());
    IPersistFile* file = nullptr;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    EXPECT_EQ(4u, file->AddRef());
    EXPECT_EQ(3u, file->Release());
    EXPECT_EQ(2u, file->Release());
    EXPECT_EQ(1u, filter->Release());
    EXPECT_EQ(1, ModuleCount);
    EXPECT_EQ(0u, filter->Release());
    EXPECT_EQ(0, ModuleCount);
}

TEST_F(EngineProtocol, ModuleCountFollowsLiveObjects) {
    ASSERT_EQ(0, ModuleCount);
    {
        ComPtr<IFilter> a = NewFilter();
        EXPECT_EQ(1, ModuleCount);
        ComPtr<IFilter> b = Loaded(TestDataPath(L"standard.jpg"));
        EXPECT_EQ(2, ModuleCount);
        b.Reset();
        EXPECT_EQ(1, ModuleCount);
    }
    EXPECT_EQ(0, ModuleCount);
}

TEST_F(EngineProtocol, ReadOnlyPersistence) {
    ComPtr<IFilter> filter = NewFilter();
    ComPtr<IPersistFile> file;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, file.PutVoid()));
    CLSID id{};
    EXPECT_HR(S_OK, file->GetClassID(&id));
    EXPECT_TRUE(IsEqualCLSID(CLSID_VelmoraFilter, id));
    EXPECT_HR(S_FALSE, file->IsDirty());
    EXPECT_HR(E_NOTIMPL, file->Save(L"C:\\x.jpg", TRUE));
    EXPECT_HR(S_OK, file->SaveCompleted(L"C:\\x.jpg"));
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    EXPECT_HR(E_FAIL, file->GetCurFile(&name));
    EXPECT_EQ(reinterpret_cast<LPOLESTR>(1), name);  // untouched
}

TEST_F(EngineProtocol, StorageFaceExistsButRefusesEverything) {
    // Never handed out by QueryInterface, but its slots must still behave.
    auto* object = new CVelmora(*configuration);
    IPersistStorage* storage = object;
    CLSID id{};
    EXPECT_HR(S_OK, storage->GetClassID(&id));
    EXPECT_TRUE(IsEqualCLSID(CLSID_VelmoraFilter, id));
    EXPECT_HR(S_FALSE, storage->IsDirty());
    EXPECT_HR(E_NOTIMPL, storage->InitNew(nullptr));
    EXPECT_HR(E_NOTIMPL, storage->Load(nullptr));
    EXPECT_HR(E_NOTIMPL, storage->Save(nullptr, TRUE));
    EXPECT_HR(S_OK, storage->SaveCompleted(nullptr));
    EXPECT_HR(E_NOTIMPL, storage->HandsOffStorage());
    ComPtr<IUnknown> unknown;
    ASSERT_HR(S_OK, storage->QueryInterface(IID_IUnknown, unknown.PutVoid()));
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IPersistFile*>(object)), unknown.Get());
    unknown.Reset();
    EXPECT_EQ(0u, storage->Release());
}
