// The host harness: the checked drain summed up, and one document through
// the whole host path.
#include "HostHarness.h"

#include "ChunkDrain.h"
#include "MemoryStream.h"

#include "common/ComPtr.h"

#include <cwchar>

namespace velmora::fuzz {

namespace {

using hostkit::ReturnedCode;

// Counts the chunks and folds what the host received into an FNV-1a digest.
class DigestVisitor : public hostkit::ChunkVisitor {
public:
    explicit DigestVisitor(DrainResult& result) : result(result) {}

    void Chunk(const STAT_CHUNK& stat) override {
        Mix(&stat.attribute.guidPropSet, sizeof(GUID));
        Mix(&stat.flags, sizeof stat.flags);
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
            const wchar_t* name = stat.attribute.psProperty.lpwstr;
            if (name) Mix(name, std::wcslen(name) * sizeof(wchar_t));
        } else {
            Mix(&stat.attribute.psProperty.propid, sizeof(PROPID));
        }
        ++(stat.flags == CHUNK_VALUE ? result.valueChunks : result.textChunks);
    }
    void Value(HRESULT hr, const PROPVARIANT* value) override {
        if (hr == E_OUTOFMEMORY || hr == E_FAIL) ++result.failedValues;
        if (!value) return;
        Mix(&value->vt, sizeof value->vt);
        switch (value->vt) {
        case VT_LPWSTR:
            if (value->pwszVal) Mix(value->pwszVal, std::wcslen(value->pwszVal) * sizeof(wchar_t));
            break;
        case VT_FILETIME:
            Mix(&value->filetime, sizeof value->filetime);
            break;
        case VT_INT:
            Mix(&value->intVal, sizeof value->intVal);
            break;
        default:
            break;
        }
    }
    void Text(HRESULT, const WCHAR* text, ULONG size) override {
        if (text) Mix(text, size * sizeof(WCHAR));
    }

private:
    void Mix(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            result.digest ^= bytes[i];
            result.digest *= 1099511628211ull;
        }
    }

    DrainResult& result;
};

}  // namespace

DrainResult DrainChecked(IFilter* filter, bool allowAllocationFailures, size_t maxChunks, ULONG firstChunkId) {
    DrainResult result;
    DigestVisitor visitor(result);
    hostkit::DrainOptions options;
    options.textBuffer = 512;
    options.maxChunks = maxChunks;
    options.checkProtocol = true;
    options.firstChunkId = firstChunkId;
    options.allowAllocationFailures = allowAllocationFailures;
    const hostkit::DrainEnd end = hostkit::DrainChunks(filter, options, visitor);
    result.end = end.end;
    result.fault = end.fault;
    return result;
}

// ---------------------------------------------------------------------------
// One document

HostRun RunDocument(const VelmoraDll& dll, Face face, const std::wstring& path, const std::string& bytes,
                    bool allowAllocationFailures) {
    HostRun run;
    IFilter* filter = nullptr;
    run.create = dll.CreateFilter(IID_IFilter, reinterpret_cast<void**>(&filter));
    if (FAILED(run.create)) {
        if (!allowAllocationFailures) run.fault = ReturnedCode("CreateInstance", run.create);
        return run;
    }
    if (face == Face::File) {
        IPersistFile* persist = nullptr;
        HRESULT hr = filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
        if (SUCCEEDED(hr)) {
            run.load = persist->Load(path.c_str(), STGM_READ);
            persist->Release();
        } else {
            run.load = hr;
            run.fault = ReturnedCode("QueryInterface(IPersistFile)", hr);
        }
    } else {
        IPersistStream* persist = nullptr;
        HRESULT hr = filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
        if (SUCCEEDED(hr)) {
            ComPtr<IStream> stream;
            if (FAILED(hostkit::MemoryStream(bytes, stream.Put()))) {
                run.fault = "harness: no memory stream";
            } else {
                run.load = persist->Load(stream.Get());
                // The filter must not keep the host's stream.
                stream->AddRef();
                if (stream->Release() != 1) run.fault = "the filter kept a reference to the stream";
            }
            persist->Release();
        } else {
            run.load = hr;
            run.fault = ReturnedCode("QueryInterface(IPersistStream)", hr);
        }
    }
    if (SUCCEEDED(run.load) && run.fault.empty()) {
        ULONG flags = 0xFFFFFFFF;
        run.init = filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
        if (run.init == S_OK) {
            if (flags != 0) run.fault = "Init reported flags";
            run.drain = DrainChecked(filter, allowAllocationFailures);
            if (run.fault.empty()) run.fault = run.drain.fault;
        } else if (!allowAllocationFailures) {
            run.fault = ReturnedCode("Init", run.init);
        }
    }
    const ULONG left = filter->Release();
    if (left != 0 && run.fault.empty()) run.fault = "references left after the last Release";
    return run;
}

}  // namespace velmora::fuzz
