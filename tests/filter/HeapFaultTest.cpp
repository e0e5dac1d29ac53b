// Running out of memory on the heap anywhere along a document's way, from the
// load to the last chunk: this program's operator new can fail any chosen
// allocation, made by the engine, the packet reader or the toolkit. Each
// failure ends in E_OUTOFMEMORY from the very call that ran out, and never
// in an early end of chunks: a document is delivered whole or not at all.
#include "EngineFixture.h"

#include "common/Memory.h"

#include "MallocSpy.h"
#include "PropertyPack.h"
#include "TestStream.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// Allocations counted while armed; the one at `failAt` (1-based) fails.
struct HeapFaults {
    bool armed = false;
    size_t counted = 0;
    size_t failAt = 0;

    bool Fails() {
        if (!armed) return false;
        return ++counted == failAt;
    }
} heap;

void* Allocate(size_t size) {
    if (heap.Fails()) {
        velmora::NoteAllocationFailure();  // as the module's operator new does
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}

void* AllocateOrNull(size_t size) noexcept {
    if (heap.Fails()) {
        velmora::NoteAllocationFailure();
        return nullptr;
    }
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

using namespace velmora;
using namespace velmora::test;

namespace {

// One call into the filter with the heap armed.
template <class Call>
HRESULT Armed(Call&& call) {
    heap.armed = true;
    const HRESULT hr = call();
    heap.armed = false;
    return hr;
}

// What a host saw of one document: each call's result and what it handed
// over, in order, up to the end of chunks or the first failure.
struct Seen {
    std::vector<std::wstring> steps;
    HRESULT last = S_OK;
};

enum class Way { File, Stream };

class HeapFault : public EngineTest {
protected:
    Seen Run(Way way, const std::wstring& path, const std::string& bytes) {
        Seen seen;
        const auto step = [&](const wchar_t* what, HRESULT hr, const std::wstring& detail = L"") {
            seen.last = hr;
            seen.steps.push_back(std::wstring(what) + L" " + HrText(hr) + L" " + detail);
            return SUCCEEDED(hr) && hr != FILTER_E_END_OF_CHUNKS;
        };
        ComPtr<CVelmora> filter(new CVelmora(*configuration));
        HRESULT hr = S_OK;
        if (way == Way::File) {
            hr = Armed([&] { return filter->Load(path.c_str(), 0); });
        } else {
            ComPtr<IStream> stream(velmora::test::MemoryStream(bytes));
            hr = Armed([&] { return filter->Load(stream.Get()); });
        }
        if (!step(L"Load", hr)) return seen;
        ULONG flags = 0;
        if (!step(L"Init", Armed([&] { return filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags); })))
            return seen;
        for (;;) {
            STAT_CHUNK stat{};
            hr = Armed([&] { return filter->GetChunk(&stat); });
            std::wstring chunk;
            if (SUCCEEDED(hr)) {
                chunk = std::to_wstring(stat.flags) + L" " + GuidString(stat.attribute.guidPropSet) + L" ";
                if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
                    if (stat.attribute.psProperty.lpwstr) chunk += stat.attribute.psProperty.lpwstr;
                    CoTaskMemFree(stat.attribute.psProperty.lpwstr);
                } else {
                    chunk += std::to_wstring(stat.attribute.psProperty.propid);
                }
            }
            if (!step(L"GetChunk", hr, chunk)) return seen;
            if (stat.flags == CHUNK_VALUE) {
                PROPVARIANT* value = nullptr;
                hr = Armed([&] { return filter->GetValue(&value); });
                std::wstring text;
                if (value) {
                    if (value->vt == VT_LPWSTR) text = value->pwszVal;
                    PropVariantClear(value);
                    CoTaskMemFree(value);
                }
                if (!step(L"GetValue", hr, text)) return seen;
            } else {
                WCHAR buffer[256];
                std::wstring text;
                do {
                    ULONG size = 256;
                    hr = Armed([&] { return filter->GetText(&size, buffer); });
                    if (SUCCEEDED(hr)) text.append(buffer, size);
                } while (hr == S_OK);
                if (!step(L"GetText", hr, text)) return seen;
            }
        }
    }

    static std::wstring HrText(HRESULT hr) {
        wchar_t text[16];
        swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(hr));
        return text;
    }
    // Fails each allocation of one document's way in turn.
    void FailEachAllocation(const wchar_t* name, Way way) {
        SCOPED_TRACE(Narrow(name) + (way == Way::File ? ", file" : ", stream"));
        const std::wstring path = TestDataPath(name);
        const std::string bytes = ReadBytes(path);
        // Once unarmed first: what the process builds once on first use
        // (the toolkit's own tables) is not the document's way.
        Run(way, path, bytes);
        heap.counted = 0;
        heap.failAt = 0;
        const Seen reference = Run(way, path, bytes);
        const size_t allocations = heap.counted;
        ASSERT_HR(FILTER_E_END_OF_CHUNKS, reference.last);
        ASSERT_GT(reference.steps.size(), 10u);  // a raw file gives fewer chunks than the others
        ASSERT_GT(allocations, 100u);

        size_t failures = 0;
        for (size_t k = 1; k <= allocations; ++k) {
            heap.counted = 0;
            heap.failAt = k;
            const Seen seen = Run(way, path, bytes);
            ASSERT_GE(heap.counted, k) << "allocation " << k << " was not made again";
            // Up to the call that ran out, the host saw what it sees without a failure.
            ASSERT_LE(seen.steps.size(), reference.steps.size()) << "allocation " << k;
            for (size_t i = 0; i + 1 < seen.steps.size(); ++i) {
                ASSERT_EQ(reference.steps[i], seen.steps[i]) << "allocation " << k << ", call " << i;
            }
            // That call failed with E_OUTOFMEMORY, or the failure changed nothing at all.
            if (seen.last == E_OUTOFMEMORY) {
                ++failures;
            } else {
                ASSERT_EQ(reference.steps, seen.steps) << "allocation " << k;
            }
        }
        heap.failAt = 0;
        EXPECT_GT(failures, allocations / 2);
        std::printf("%ls, %s: %zu heap allocations, %zu of them failing the call that made them\n", name,
                    way == Way::File ? "file" : "stream", allocations, failures);
    }
};

TEST_F(HeapFault, EveryAllocationFromLoadToTheLastChunk) {
    // The log off: its lines are not the filter's way through the document.
    RegistrySandbox::SetDword(kEngineKey, L"DebugMode", 0);
    debugger.Initialize(kEngineKey.c_str(), kProductDisplayName);
    // A JPEG through its handler; a JPEG XL file's Brotli boxes, a PNG's raw
    // profile and camera raw containers (CR3's joined Exif, CRW's records
    // under its XMP) through the filter's own readers; PNG text chunks and
    // an eXIf chunk with Windows' tags, through the native readers.
    for (const wchar_t* name : {L"standard.jpg", L"containers\\cjxl-brob.jxl", L"containers\\imagemagick-raw-profile.png",
                                L"raw\\CanonRaw.cr3", L"raw\\CanonRaw.crw", L"native\\png-text.png"})
        for (Way way : {Way::File, Way::Stream}) FailEachAllocation(name, way);
}

// The descriptive full-text walk over places and face regions, and the
// property pack's wildcard paths over the regions.
TEST_F(HeapFault, EveryAllocationOfTheFullTextWalkAndWildcardPaths) {
    RegistrySandbox::SetDword(kEngineKey, L"DebugMode", 0);
    debugger.Initialize(kEngineKey.c_str(), kProductDisplayName);
    DeclarePropertyPack();
    configuration = std::make_unique<VelmoraConfiguration>(kEngineKey);
    FailEachAllocation(L"people\\lightroom-faces.jpg", Way::File);
}

// The same walk with the COM task allocator failing instead: the memory that
// crosses to the host (property names in chunk attributes, PROPVARIANTs and
// their strings) and whatever a load takes from it. Each failure ends in
// E_OUTOFMEMORY from the call that ran out, or changes nothing.
TEST_F(HeapFault, EveryTaskAllocationFromLoadToTheLastChunk) {
    RegistrySandbox::SetDword(kEngineKey, L"DebugMode", 0);
    debugger.Initialize(kEngineKey.c_str(), kProductDisplayName);
    CoInitialize(nullptr);
    {
        MallocSpy spy;
        ASSERT_TRUE(spy.Registered());
        for (Way way : {Way::File, Way::Stream}) {
            SCOPED_TRACE(way == Way::File ? "file" : "stream");
            const std::wstring path = TestDataPath(L"standard.jpg");
            const std::string bytes = ReadBytes(path);
            const size_t before = spy.Allocations();
            const Seen reference = Run(way, path, bytes);
            const size_t allocations = spy.Allocations() - before;
            ASSERT_HR(FILTER_E_END_OF_CHUNKS, reference.last);
            ASSERT_GT(allocations, 20u);

            size_t failures = 0, named = 0;
            for (size_t k = 0; k < allocations; ++k) {
                const size_t failedBefore = spy.FailedAllocations();
                spy.FailAllocations(1, k);
                const Seen seen = Run(way, path, bytes);
                spy.FailAllocations(0);
                ASSERT_EQ(failedBefore + 1, spy.FailedAllocations()) << "allocation " << k << " was not made again";
                ASSERT_LE(seen.steps.size(), reference.steps.size()) << "allocation " << k;
                for (size_t i = 0; i + 1 < seen.steps.size(); ++i) {
                    ASSERT_EQ(reference.steps[i], seen.steps[i]) << "allocation " << k << ", call " << i;
                }
                if (seen.last == E_OUTOFMEMORY) {
                    ++failures;
                    // A named property's chunk that could not carry its name.
                    if (seen.steps.back().rfind(L"GetChunk ", 0) == 0) ++named;
                } else {
                    ASSERT_EQ(reference.steps, seen.steps) << "allocation " << k;
                }
            }
            EXPECT_GT(named, 0u);
            EXPECT_GT(failures, allocations / 2);
        }
    }
    CoUninitialize();
}

}  // namespace
