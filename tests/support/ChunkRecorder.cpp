#include "ChunkRecorder.h"

#include "ChunkDrain.h"

#include "common/Win32.h"

#include <filterr.h>
#include <ntquery.h>
#include <objbase.h>

#include <cwchar>

#include "xmp/StandardSchemas.h"

namespace velmora::test {

namespace {

// Keeps a copy of everything the kit's drain hands over, chunk by chunk.
class Recorder : public hostkit::ChunkVisitor {
public:
    explicit Recorder(Drain& drain) : drain(drain) {}

    void Chunk(const STAT_CHUNK& stat) override {
        velmora::test::Chunk chunk;
        chunk.stat = stat;
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
            if (stat.attribute.psProperty.lpwstr) chunk.attributeName = stat.attribute.psProperty.lpwstr;
            chunk.stat.attribute.psProperty.lpwstr = nullptr;
        }
        drain.chunks.push_back(std::move(chunk));
    }
    // The first GetValue is the chunk's; the next only says there are no more.
    void Value(HRESULT result, const PROPVARIANT* value) override {
        velmora::test::Chunk& chunk = drain.chunks.back();
        if (++values > 1) return;
        chunk.valueResult = result;
        if (FAILED(result) || !value) return;
        chunk.vt = value->vt;
        switch (value->vt) {
        case VT_LPWSTR:
            if (value->pwszVal) chunk.text = value->pwszVal;
            break;
        case VT_FILETIME:
            chunk.time = value->filetime;
            break;
        case VT_INT:
            chunk.intVal = value->intVal;
            break;
        default:
            if (IsScalarType(value->vt)) chunk.scalar = *value;
            break;
        }
    }
    void Text(HRESULT result, const WCHAR* text, ULONG size) override {
        velmora::test::Chunk& chunk = drain.chunks.back();
        chunk.textResults.push_back(result);
        if (!text) return;
        chunk.pieces.push_back(size);
        chunk.text.append(text, size);
    }
    void Finished() override { values = 0; }

private:
    Drain& drain;
    int values = 0;
};

}  // namespace

Drain DrainFilter(IFilter* filter, ULONG textBuffer, size_t maxChunks) {
    Drain drain;
    Recorder recorder(drain);
    hostkit::DrainOptions options;
    options.textBuffer = textBuffer;
    options.maxChunks = maxChunks;
    const hostkit::DrainEnd end = hostkit::DrainChunks(filter, options, recorder);
    drain.end = end.end;  // E_ABORT: the filter never ended
    drain.endStat = end.endStat;
    return drain;
}

std::wstring GuidString(const GUID& guid) { return hostkit::GuidText(guid); }

std::wstring Describe(const Chunk& chunk) {
    std::wstring line = std::to_wstring(chunk.stat.idChunk);
    if (chunk.stat.flags & CHUNK_TEXT) {
        if (chunk.stat.locale == GetSystemDefaultLCID()) return line + L" T " + chunk.text;
        wchar_t locale[16];
        swprintf(locale, 16, L"0x%04lX", static_cast<unsigned long>(chunk.stat.locale));
        return line + L" T(" + locale + L") " + chunk.text;
    }
    line += L" V " + hostkit::PropertySetName(chunk.stat.attribute.guidPropSet) + L"/";
    if (chunk.stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR)
        line += chunk.attributeName;
    else
        line += std::to_wstring(chunk.stat.attribute.psProperty.propid);
    if (FAILED(chunk.valueResult)) {
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(chunk.valueResult));
        return line + L" failed " + code;
    }
    switch (chunk.vt) {
    case VT_LPWSTR:
        return line + L" LPWSTR=" + chunk.text;
    case VT_FILETIME:
        return line + L" FILETIME=" + FormatFileTime(chunk.time);
    case VT_INT:
        return line + L" INT=" + std::to_wstring(chunk.intVal);
    case VT_UI2:
        return line + L" UI2=" + std::to_wstring(chunk.scalar.uiVal);
    case VT_UI4:
        return line + L" UI4=" + std::to_wstring(chunk.scalar.ulVal);
    case VT_I4:
        return line + L" I4=" + std::to_wstring(chunk.scalar.lVal);
    case VT_UI8:
        return line + L" UI8=" + std::to_wstring(chunk.scalar.uhVal.QuadPart);
    case VT_R8: {
        wchar_t number[32];
        swprintf(number, 32, L"%.15g", chunk.scalar.dblVal);
        return line + L" R8=" + number;
    }
    case VT_BOOL:
        return line + (chunk.scalar.boolVal ? L" BOOL=true" : L" BOOL=false");
    default:
        return line + L" vt" + std::to_wstring(chunk.vt);
    }
}

std::vector<std::wstring> Describe(const Drain& drain) {
    std::vector<std::wstring> lines;
    for (const Chunk& chunk : drain.chunks) lines.push_back(Describe(chunk));
    return lines;
}

}  // namespace velmora::test
