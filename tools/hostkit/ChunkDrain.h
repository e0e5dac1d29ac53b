// The one chunk loop of the host side: drains a filter after a successful
// Init the way a search host does (GetChunk, then GetValue or GetText until
// they report the end), frees everything the filter hands over, and, when
// asked to, checks the chunk protocol on the way. What each user keeps of
// the chunks (a record, a print-out, a digest, a count) is a ChunkVisitor.
#pragma once

#include <windows.h>
#include <filter.h>

#include <cstddef>
#include <string>

namespace velmora::hostkit {

// Sees what the drain receives, in order. Nothing handed over may be kept
// past the call that hands it: the drain frees it afterwards.
class ChunkVisitor {
public:
    virtual ~ChunkVisitor() = default;
    // A chunk as GetChunk returned it. A PRSPEC_LPWSTR name (null when the
    // filter could not allocate it) stays valid until Finished.
    virtual void Chunk(const STAT_CHUNK& stat) { (void)stat; }
    // Each GetValue of a value chunk, with the value it handed out, if any.
    virtual void Value(HRESULT result, const PROPVARIANT* value) {
        (void)result;
        (void)value;
    }
    // Each GetText of a text chunk, with the piece handed out on S_OK and
    // FILTER_S_LAST_TEXT (size no larger than the buffer) and none otherwise.
    virtual void Text(HRESULT result, const WCHAR* text, ULONG size) {
        (void)result;
        (void)text;
        (void)size;
    }
    // The chunk's content is taken.
    virtual void Finished() {}
};

struct DrainOptions {
    ULONG textBuffer = 4096;          // characters per GetText
    size_t maxChunks = 100000;        // then the drain gives up with E_ABORT
    size_t maxPieces = 1000000;       // GetText calls per chunk at most
    // Goes past FILTER_E_EMBEDDING_UNAVAILABLE and FILTER_E_LINK_UNAVAILABLE
    // as a host does, instead of ending there.
    bool skipUnavailable = false;
    // Checks the protocol: ids firstChunkId, +1, ...; every chunk is a value
    // or a text chunk; a value chunk answers GetText with FILTER_E_NO_TEXT and
    // hands out one value of a declared type (VT_LPWSTR, VT_FILETIME, VT_INT, or a scalar type a definition file declares)
    // and then FILTER_E_NO_MORE_VALUES; a text chunk answers GetValue with
    // FILTER_E_NO_VALUES and hands out text, every piece but the last filling
    // the buffer, until FILTER_S_LAST_TEXT or FILTER_E_NO_MORE_TEXT; the end
    // is FILTER_E_END_OF_CHUNKS, and stays so. The first breach ends the drain.
    bool checkProtocol = false;
    ULONG firstChunkId = 1;
    // With checkProtocol: E_OUTOFMEMORY and E_FAIL from GetValue and named
    // attributes without a name are accepted (allocations made to fail).
    bool allowAllocationFailures = false;
};

struct DrainEnd {
    HRESULT end = S_OK;   // the GetChunk result that ended it; E_ABORT after maxChunks
    STAT_CHUNK endStat{}; // what that call left in its STAT_CHUNK
    size_t chunks = 0;    // GetChunk calls before the end (skipped ones included)
    std::string fault;    // the protocol breach (checkProtocol), or empty
};

DrainEnd DrainChunks(IFilter* filter, const DrainOptions& options, ChunkVisitor& visitor);

// "<what> returned 0x80004005": how a fault names a call's unexpected result.
std::string ReturnedCode(const char* what, HRESULT hr);

}  // namespace velmora::hostkit
