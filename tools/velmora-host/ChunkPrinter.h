// Draining a filter the way a search host does (the host-side kit's drain,
// which frees everything the filter hands over), and printing each chunk as
// a line of text or as one JSON object per line.
#pragma once

#include "FilterSource.h"

#include <windows.h>
#include <filter.h>

#include <cstdio>
#include <string>
#include <vector>

namespace velmora::host {

// One value handed over by GetValue, already turned into text.
struct ChunkValue {
    std::wstring type;  // "VT_LPWSTR", "VT_FILETIME", ...
    std::wstring text;  // the value as text; FILETIME as ISO 8601 UTC
    bool isNumber = false;
    long long number = 0;  // the value when isNumber
    bool isReal = false;
    double real = 0;       // the value when isReal (VT_R8)
};

struct ChunkRecord {
    ULONG id = 0;
    CHUNKSTATE flags = CHUNK_TEXT;
    CHUNK_BREAKTYPE breakType = CHUNK_NO_BREAK;
    LCID locale = 0;
    GUID set{};
    bool byName = false;
    PROPID propid = 0;
    std::wstring name;
    std::vector<ChunkValue> values;
    std::wstring text;
    HRESULT contentResult = S_OK;  // a failure of GetValue or GetText, else S_OK
};

std::wstring FormatText(const ChunkRecord& chunk);
// One JSON object, as UTF-8.
std::string FormatJson(const ChunkRecord& chunk);

// Calls Init (all index attributes, or the requested properties) and prints
// every chunk to out; false with error when the filter fails.
bool DrainAndPrint(IFilter* filter, const std::vector<RequestedProperty>& properties, bool json, FILE* out,
                   HostError& error);

// Writes text to out as UTF-8.
void WriteUtf8(FILE* out, const std::wstring& text);
void WriteBytes(FILE* out, const std::string& bytes);

}  // namespace velmora::host
