// A host's view of a filter: drains every chunk through the host-side kit's
// drain (GetChunk, then GetValue or GetText until they report the end) and
// records each chunk for comparison with a table.
#pragma once

#include "PropertySets.h"

#include <windows.h>
#include <filter.h>

#include <string>
#include <vector>

namespace velmora::test {

struct Chunk {
    STAT_CHUNK stat{};               // attribute name pointer cleared after copying
    std::wstring attributeName;      // PRSPEC_LPWSTR attributes
    HRESULT valueResult = S_OK;      // of the first GetValue (value chunks)
    VARTYPE vt = VT_EMPTY;
    std::wstring text;               // the LPWSTR value, or the text pieces joined
    FILETIME time{};
    int intVal = 0;
    PROPVARIANT scalar{};            // VT_UI2, VT_UI4, VT_I4, VT_UI8, VT_R8, VT_BOOL (owns nothing)
    std::vector<ULONG> pieces;       // sizes handed out by GetText, in order
    std::vector<HRESULT> textResults;  // every GetText result, the final one included
};

struct Drain {
    std::vector<Chunk> chunks;
    HRESULT end = S_OK;              // what the last GetChunk returned
    STAT_CHUNK endStat{};            // what it left in the STAT_CHUNK
};

// Drains filter after a successful Init. textBuffer: characters per GetText.
Drain DrainFilter(IFilter* filter, ULONG textBuffer = 4096, size_t maxChunks = 100000);

// One line per chunk: "<id> V <set>/<property> <TYPE>=<value>" for values
// (a VT_R8 as %.15g, a VT_BOOL as true or false),
// "<id> T <text>" for text, "<id> T(0x0407) <text>" for a text whose locale
// is not the system default one. Known sets print by name (SummaryInformation,
// DublinCore, Photoshop, XmpBasic, Storage), others as a GUID.
std::wstring Describe(const Chunk& chunk);
std::vector<std::wstring> Describe(const Drain& drain);

// FILETIME as 2024-05-04T04:20:30Z.
using hostkit::FormatFileTime;
std::wstring GuidString(const GUID& guid);

}  // namespace velmora::test
