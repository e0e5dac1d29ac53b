// Choosing and parsing a document's packet: the block scan, the choice among
// the scanner's snips, positioned reads of the chosen packet, and the parse.
#include "xmp/PacketReader.h"

#include "diag/Debugger.h"
#include "xmp/PacketSearch.h"
#include "xmp/XmlGuard.h"

#include "XMPScanner.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>

namespace velmora {

namespace {

// Without a client callback the toolkit treats malformed XML as recoverable
// and returns an empty (or half-built) model, so a binary file or a broken
// packet would look like a packet without properties. Refusing recovery for
// XML errors makes such input fail to parse; the RDF-level repairs the
// toolkit makes on well-formed packets are still accepted.
bool RefuseMalformedXml(void* /*context*/, XMP_ErrorSeverity /*severity*/, XMP_Int32 cause,
                        XMP_StringPtr /*message*/) {
    return cause != kXMPErr_BadXML;
}

void SetParseErrorPolicy(SXMPMeta& meta) {
    meta.SetErrorCallback(RefuseMalformedXml, nullptr, 0);  // limit 0: every error is reported
}

// Refuses XML nested deeper than the toolkit's recursion can take, and a
// document type that declares entities; the text is checked before the
// parser sees it, so nothing is ever expanded or fetched.
bool PassesGuard(XmlGuard& guard, const char* bytes, size_t length) {
    switch (guard.Feed(bytes, length)) {
    case XmlVerdict::Passes:
        return true;
    case XmlVerdict::TooDeep:
        debugger.Log(1, L"ERROR: XMP packet is nested too deeply to parse \n");
        return false;
    case XmlVerdict::DeclaresEntities:
        debugger.Log(1, L"ERROR: XMP packet declares XML entities and is refused \n");
        return false;
    }
    return false;
}

// One full-size read block kept from one document to the next. A host loads
// document after document, and a block of this size, once freed, comes back
// from the heap as fresh pages that fault in again: about 60 us a document
// under Wine, a twentieth of a small photo's whole load. Loads running at the
// same time beyond the first allocate blocks of their own; whichever is
// given back first is kept. Freed when the module unloads.
class SpareBlock {
public:
    ~SpareBlock() { delete[] spare.exchange(nullptr); }
    char* Take() { return spare.exchange(nullptr); }
    void Give(char* block) {
        char* none = nullptr;
        if (!spare.compare_exchange_strong(none, block)) delete[] block;
    }

private:
    std::atomic<char*> spare{nullptr};
};
SpareBlock spareBlock;

}  // namespace

PacketReader::~PacketReader() {
    if (block && fullBlock) spareBlock.Give(block.release());
}

HRESULT PacketReader::Open() {
    const uint64_t size = source.Size();
    if (size == 0) return E_FAIL;
    // A small document needs no more than its own size, but takes the spare
    // full-size block when there is one.
    blockSize = static_cast<DWORD>(std::min<uint64_t>(kReadBlockSize, size));
    block.reset(spareBlock.Take());
    fullBlock = block != nullptr || blockSize == kReadBlockSize;
    if (!block) block.reset(new (std::nothrow) char[blockSize]);
    if (!block) return E_OUTOFMEMORY;
    if (ReadBlock(0) == 0) return FAILED(readFailure) ? readFailure : E_FAIL;
    return S_OK;
}

DWORD PacketReader::ReadBlock(uint64_t offset) {
    if (FAILED(readFailure)) return 0;
    // The block may hold these bytes already (the first block, read by Open
    // and again by the scan; a small document, read whole by both and again
    // by the parser).
    if (blockFilled != 0 && blockOffset == offset) return blockFilled;
    blockFilled = 0;
    DWORD got = 0;
    readFailure = source.ReadAt(offset, block.get(), blockSize, got);
    blockOffset = offset;
    blockFilled = got;
    return got;
}

bool PacketReader::ReadStretch(uint64_t offset, uint64_t length, std::string& bytes) {
    const uint64_t size = source.Size();
    if (offset > size || length > size - offset || length > bytes.max_size()) return false;
    bytes.resize(static_cast<size_t>(length));
    for (uint64_t done = 0; done < length;) {
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(1u << 20, length - done));
        DWORD got = 0;
        readFailure = source.ReadAt(offset + done, &bytes[static_cast<size_t>(done)], wanted, got);
        if (got == 0) return false;
        done += got;
    }
    return true;
}

// Feeds the first `length` bytes to the parser block by block and finishes
// with an empty last call: the same model as one call over them all.
HRESULT PacketReader::ParseInBlocks(SXMPMeta& meta, uint64_t length) {
    try {
        SetParseErrorPolicy(meta);
        XmlGuard guard;
        for (uint64_t offset = 0; offset < length;) {
            const DWORD got = ReadBlock(offset);
            if (got == 0) return E_FAIL;
            if (!PassesGuard(guard, block.get(), got)) return E_FAIL;
            meta.ParseFromBuffer(block.get(), got, kXMP_ParseMoreBuffers);
            offset += got;
        }
        meta.ParseFromBuffer("", 0, 0);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT PacketReader::ReadInto(SXMPMeta& meta) {
    PacketSearch scanner(static_cast<XMP_Int64>(source.Size()));
    uint64_t scanned = 0;
    for (DWORD got; (got = ReadBlock(scanned)) != 0; scanned += got) {
        scanner.Scan(block.get(), static_cast<XMP_Int64>(scanned), got);
    }
    if (FAILED(readFailure)) return readFailure;

    XMPScanner::SnipInfoVector snips;
    scanner.Report(snips);
    // A document that ended early (a file cut short, a stream holding less
    // than it claimed) leaves the rest unseen; what was read is judged alone.
    while (!snips.empty() && snips.back().fState == XMPScanner::eNotSeenSnip) snips.pop_back();

    if (snips.size() == 1) {
        // No packet at all, or the whole document is one packet: the parser
        // gets everything (an SVG with a bare rdf:RDF parses; binary data fails).
        return ParseInBlocks(meta, scanned);
    }

    for (auto snip = snips.rbegin(); snip != snips.rend(); ++snip) {
        if (snip->fState != XMPScanner::eValidPacketSnip) continue;
        const uint64_t offset = static_cast<uint64_t>(snip->fOffset);
        const uint64_t length = static_cast<uint64_t>(snip->fLength);
        if (length > std::numeric_limits<uint32_t>::max()) return E_FAIL;  // beyond one parser call
        std::string packet;
        if (!ReadStretch(offset, length, packet)) return E_FAIL;
        return ParsePacket(&meta, packet, 0, static_cast<uint32_t>(length));
    }
    // Several snips and none of them a valid packet: the model stays empty.
    return S_OK;
}

HRESULT PacketReader::ParsePacket(SXMPMeta* meta, const std::string& buffer, uint32_t offset, uint32_t length) {
    if (!meta) return E_FAIL;
    // The stretch comes from the scanner, but never read outside the buffer.
    if (offset > buffer.size() || length > buffer.size() - offset) return E_FAIL;
    XmlGuard guard;
    if (!PassesGuard(guard, buffer.data() + offset, length)) return E_FAIL;
    try {
        SetParseErrorPolicy(*meta);
        meta->ParseFromBuffer(buffer.data() + offset, length, 0);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace velmora
