#include "ChunkRecorder.h"

#include <filterr.h>
#include <ntquery.h>
#include <objbase.h>

#include <cwchar>

#include "xmp/StandardSchemas.h"

namespace velmora::test {

namespace {

void TakeValue(IFilter* filter, Chunk& chunk) {
    PROPVARIANT* value = nullptr;
    chunk.valueResult = filter->GetValue(&value);
    if (FAILED(chunk.valueResult) || !value) return;
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
        break;
    }
    PropVariantClear(value);
    CoTaskMemFree(value);
}

void TakeText(IFilter* filter, Chunk& chunk, ULONG bufferSize) {
    std::vector<WCHAR> buffer(bufferSize + 1);
    for (int guard = 0; guard < 1000000; ++guard) {
        ULONG size = bufferSize;
        const HRESULT hr = filter->GetText(&size, buffer.data());
        chunk.textResults.push_back(hr);
        if (hr != S_OK && hr != FILTER_S_LAST_TEXT) return;
        chunk.pieces.push_back(size);
        chunk.text.append(buffer.data(), size);
        if (hr == FILTER_S_LAST_TEXT) return;
    }
}

}  // namespace

Drain DrainFilter(IFilter* filter, ULONG textBuffer, size_t maxChunks) {
    Drain drain;
    for (size_t n = 0; n < maxChunks; ++n) {
        STAT_CHUNK stat{};
        const HRESULT hr = filter->GetChunk(&stat);
        if (FAILED(hr)) {
            drain.end = hr;
            drain.endStat = stat;
            return drain;
        }
        Chunk chunk;
        chunk.stat = stat;
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
            if (stat.attribute.psProperty.lpwstr) chunk.attributeName = stat.attribute.psProperty.lpwstr;
            CoTaskMemFree(stat.attribute.psProperty.lpwstr);
            chunk.stat.attribute.psProperty.lpwstr = nullptr;
        }
        if (stat.flags & CHUNK_VALUE) TakeValue(filter, chunk);
        if (stat.flags & CHUNK_TEXT) TakeText(filter, chunk, textBuffer);
        drain.chunks.push_back(std::move(chunk));
    }
    drain.end = E_ABORT;  // the filter never ended
    return drain;
}

std::wstring GuidString(const GUID& guid) { return hostkit::GuidText(guid); }

std::wstring Describe(const Chunk& chunk) {
    std::wstring line = std::to_wstring(chunk.stat.idChunk);
    if (chunk.stat.flags & CHUNK_TEXT) return line + L" T " + chunk.text;
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
