#include "ChunkDrain.h"

#include "common/Win32.h"

#include <filterr.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace velmora::hostkit {

namespace {

// A PROPVARIANT handed over by GetValue: its contents and the block itself.
struct HandedValueDeleter {
    void operator()(PROPVARIANT* value) const {
        PropVariantClear(value);
        CoTaskMemFree(value);
    }
};
using HandedValue = std::unique_ptr<PROPVARIANT, HandedValueDeleter>;

bool IsDeclaredValue(const PROPVARIANT& value, std::string& fault) {
    switch (value.vt) {
    case VT_LPWSTR:
        if (!value.pwszVal) fault = "VT_LPWSTR value without a string";
        break;
    case VT_FILETIME:
    case VT_INT:
        break;
    default:
        if (!IsScalarType(value.vt)) fault = "value of an undeclared type";
        break;
    }
    return fault.empty();
}

class Drainer {
public:
    Drainer(IFilter* filter, const DrainOptions& options, ChunkVisitor& visitor)
        : filter(filter), options(options), visitor(visitor), buffer(options.textBuffer + 1) {}

    DrainEnd Run() {
        ULONG expectedId = options.firstChunkId;
        while (result.chunks < options.maxChunks) {
            STAT_CHUNK stat{};
            const HRESULT hr = filter->GetChunk(&stat);
            if (options.skipUnavailable && (hr == FILTER_E_EMBEDDING_UNAVAILABLE || hr == FILTER_E_LINK_UNAVAILABLE)) {
                ++result.chunks;
                continue;
            }
            if (FAILED(hr) || (check && hr != S_OK)) return End(hr, stat);
            ++result.chunks;
            // A named attribute's name is the host's to free.
            const CoTaskMemPtr<wchar_t> name(
                stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR ? stat.attribute.psProperty.lpwstr : nullptr);
            if (check) {
                if (stat.idChunk != expectedId || stat.idChunkSource != expectedId)
                    return Fault("chunk ids out of sequence");
                ++expectedId;
                if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR && !name && !options.allowAllocationFailures)
                    return Fault("named attribute without a name");
                if (stat.flags != CHUNK_VALUE && stat.flags != CHUNK_TEXT) return Fault("chunk neither value nor text");
            }
            visitor.Chunk(stat);
            if (!((stat.flags & CHUNK_VALUE) ? TakeValues() : TakeText())) return result;
            visitor.Finished();
        }
        result.end = E_ABORT;
        if (check) result.fault = "no end of chunks";
        return result;
    }

private:
    DrainEnd End(HRESULT hr, const STAT_CHUNK& stat) {
        result.end = hr;
        result.endStat = stat;
        if (!check) return result;
        // A chunk whose property name could not be copied ends the walk, as
        // a host stops on a failed GetChunk.
        if (hr == E_OUTOFMEMORY && options.allowAllocationFailures) return result;
        if (hr != FILTER_E_END_OF_CHUNKS) return Fault(ReturnedCode("GetChunk", hr));
        // Further calls keep reporting the end.
        STAT_CHUNK again{};
        const HRESULT second = filter->GetChunk(&again);
        if (second != FILTER_E_END_OF_CHUNKS) result.fault = ReturnedCode("GetChunk after the end", second);
        return result;
    }

    DrainEnd Fault(const std::string& fault) {
        result.fault = fault;
        return result;
    }

    bool Failed(const std::string& fault) {
        result.fault = fault;
        return false;
    }

    bool AllowedValueFailure(HRESULT hr) const {
        return options.allowAllocationFailures && (hr == E_OUTOFMEMORY || hr == E_FAIL);
    }

    bool TakeValues() {
        if (check) {
            ULONG size = options.textBuffer;
            const HRESULT text = filter->GetText(&size, buffer.data());
            if (text != FILTER_E_NO_TEXT) return Failed(ReturnedCode("GetText on a value chunk", text));
        }
        for (size_t n = 0; n < options.maxPieces; ++n) {
            PROPVARIANT* handed = nullptr;
            const HRESULT hr = filter->GetValue(&handed);
            const HandedValue value(handed);
            visitor.Value(hr, value.get());
            if (!check) {
                if (hr != S_OK || !value) return true;
                continue;
            }
            // One value (or an allowed failure to make it), then no more.
            if (n > 0) return hr == FILTER_E_NO_MORE_VALUES || Failed(ReturnedCode("second GetValue", hr));
            std::string fault;
            if (hr == S_OK && !value) return Failed("GetValue returned S_OK and no value");
            if (hr == S_OK && !IsDeclaredValue(*value, fault)) return Failed(fault);
            if (hr != S_OK && !AllowedValueFailure(hr)) return Failed(ReturnedCode("GetValue", hr));
        }
        return true;
    }

    bool TakeText() {
        if (check) {
            PROPVARIANT* handed = nullptr;
            const HRESULT hr = filter->GetValue(&handed);
            const HandedValue value(handed);
            if (hr != FILTER_E_NO_VALUES) return Failed(ReturnedCode("GetValue on a text chunk", hr));
        }
        const ULONG capacity = options.textBuffer;
        for (size_t n = 0; n < options.maxPieces; ++n) {
            ULONG size = capacity;
            const HRESULT hr = filter->GetText(&size, buffer.data());
            const bool piece = hr == S_OK || hr == FILTER_S_LAST_TEXT;
            if (check && piece && (size > capacity || (hr == S_OK && size != capacity)))
                return Failed("GetText handed out a wrong size");
            visitor.Text(hr, piece ? buffer.data() : nullptr, piece ? std::min(size, capacity) : 0);
            if (hr == S_OK) continue;
            return !check || piece || hr == FILTER_E_NO_MORE_TEXT || Failed(ReturnedCode("GetText", hr));
        }
        return !check || Failed("text chunk without an end");
    }

    IFilter* filter;
    const DrainOptions& options;
    const bool check = options.checkProtocol;
    ChunkVisitor& visitor;
    std::vector<WCHAR> buffer;
    DrainEnd result;
};

}  // namespace

std::string ReturnedCode(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s returned 0x%08lX", what, static_cast<unsigned long>(hr));
    return text;
}

DrainEnd DrainChunks(IFilter* filter, const DrainOptions& options, ChunkVisitor& visitor) {
    return Drainer(filter, options, visitor).Run();
}

}  // namespace velmora::hostkit
