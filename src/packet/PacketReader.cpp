// Choosing and parsing a document's packet: the block scan, the choice among
// the scanner's snips, positioned reads of the chosen packet, and the parse.
#include "packet/PacketReader.h"

#include "common/Win32.h"
#include "diag/Debugger.h"
#include "packet/CharacterForm.h"
#include "packet/PacketSearch.h"
#include "packet/XmlGuard.h"

#include "XMPScanner.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>
#include <optional>
#include <string>

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

// Feeds a document's XML to the parser piece by piece, through the guard,
// which refuses XML nested deeper than the toolkit's recursion can take and a
// document type that declares entities: the text is checked before the
// parser sees it, so nothing is ever expanded or fetched. The guard reads the
// text in the form the parser will, told from its first bytes. UTF-32, which
// the parser cannot read, reaches it as UTF-8.
class GuardedParse {
public:
    explicit GuardedParse(SXMPMeta& meta) : meta(meta) { SetParseErrorPolicy(meta); }

    // S_OK, or E_FAIL when the text is refused or does not parse. Throws
    // std::bad_alloc.
    HRESULT Feed(const char* bytes, size_t length) {
        if (!formKnown) {
            const size_t take = std::min(kHeadSize - head.size(), length);
            head.append(bytes, take);
            bytes += take;
            length -= take;
            if (head.size() < kHeadSize) return S_OK;
            VELMORA_RETURN_IF_FAILED(TakeHead());
        }
        return Pass(bytes, length);
    }

    // The end of the text: the parser's last call.
    HRESULT Finish() {
        if (!formKnown) VELMORA_RETURN_IF_FAILED(TakeHead());
        if (decoder && !decoder->Finished()) return Refuse(L"ERROR: XMP packet is not valid UTF-32 \n");
        return Parse(held.data(), held.size(), 0);
    }

private:
    // The parser's last call must not be empty: given nothing, it parses one
    // space instead, which UTF-16 text cannot end with. So the last bytes
    // of every piece wait for the next one, or for the end.
    static constexpr size_t kHeld = 4;
    // The first bytes are kept until there are this many. They tell the
    // form, and the parser's first call gets at least 16 of them: given
    // fewer, it keeps them aside, and in UTF-16 it then parses them again
    // with every later call.
    static constexpr size_t kHeadSize = 16 + kHeld;
    static_assert(kHeadSize >= kFormHeadSize, "the head tells the form");

    HRESULT TakeHead() {
        formKnown = true;
        const CharacterForm form = DetectCharacterForm(reinterpret_cast<const uint8_t*>(head.data()), head.size());
        guard = XmlGuard(form);
        if (form == CharacterForm::Utf32Big || form == CharacterForm::Utf32Little) decoder.emplace(form);
        return Pass(head.data(), head.size());
    }

    HRESULT Pass(const char* bytes, size_t length) {
        switch (guard.Feed(bytes, length)) {
        case XmlVerdict::Passes:
            break;
        case XmlVerdict::TooDeep:
            return Refuse(L"ERROR: XMP packet is nested too deeply to parse \n");
        case XmlVerdict::DeclaresEntities:
            return Refuse(L"ERROR: XMP packet declares XML entities and is refused \n");
        }
        if (decoder) {
            decoded.clear();
            if (!decoder->Feed(bytes, length, decoded)) return Refuse(L"ERROR: XMP packet is not valid UTF-32 \n");
            bytes = decoded.data();
            length = decoded.size();
        }
        if (!parsing) {
            // The first call gets at least 16 bytes of the text as the
            // parser reads it: UTF-32 decoded from the head is fewer.
            held.append(bytes, length);
            if (held.size() <= kHeadSize) return S_OK;
            const size_t now = held.size() - kHeld;
            VELMORA_RETURN_IF_FAILED(Parse(held.data(), now, kXMP_ParseMoreBuffers));
            held.erase(0, now);
            parsing = true;
            return S_OK;
        }
        if (held.size() + length <= kHeld) {
            held.append(bytes, length);
            return S_OK;
        }
        if (length < kHeld) {
            held.append(bytes, length);
            const size_t now = held.size() - kHeld;
            VELMORA_RETURN_IF_FAILED(Parse(held.data(), now, kXMP_ParseMoreBuffers));
            held.erase(0, now);
            return S_OK;
        }
        if (!held.empty()) VELMORA_RETURN_IF_FAILED(Parse(held.data(), held.size(), kXMP_ParseMoreBuffers));
        VELMORA_RETURN_IF_FAILED(Parse(bytes, length - kHeld, kXMP_ParseMoreBuffers));
        held.assign(bytes + length - kHeld, kHeld);
        return S_OK;
    }

    HRESULT Parse(const char* bytes, size_t length, XMP_OptionBits options) {
        if (length == 0 && options == kXMP_ParseMoreBuffers) return S_OK;
        if (length > std::numeric_limits<XMP_StringLen>::max()) return E_FAIL;  // beyond one parser call
        try {
            meta.ParseFromBuffer(bytes, static_cast<XMP_StringLen>(length), options);
            return S_OK;
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
            return E_FAIL;
        }
    }

    static HRESULT Refuse(const wchar_t* line) {
        debugger.Log(1, line);
        return E_FAIL;
    }

    SXMPMeta& meta;
    XmlGuard guard;
    bool formKnown = false;
    bool parsing = false;  // the parser has had its first call
    std::string head;     // the first bytes, until there are enough
    std::string held;     // the last bytes, not yet given to the parser
    std::optional<Utf32Decoder> decoder;
    std::string decoded;  // UTF-32 as UTF-8
};

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

// Feeds the first `length` bytes to the parser block by block: the same
// model as one call over them all.
HRESULT PacketReader::ParseInBlocks(SXMPMeta& meta, uint64_t length) {
    GuardedParse parse(meta);
    for (uint64_t offset = 0; offset < length;) {
        const DWORD got = ReadBlock(offset);
        if (got == 0) return E_FAIL;
        VELMORA_RETURN_IF_FAILED(parse.Feed(block.get(), got));
        offset += got;
    }
    return parse.Finish();
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

bool PacketReader::ParseWholePacket(const std::string& packet, SXMPMeta& meta) {
    return packet.size() <= std::numeric_limits<uint32_t>::max() &&
           ParsePacket(&meta, packet, 0, static_cast<uint32_t>(packet.size())) == S_OK && HasProperties(meta);
}

bool HasProperties(const SXMPMeta& meta) {
    SXMPIterator properties(meta, kXMP_IterJustLeafNodes);
    return properties.Next();
}

HRESULT PacketReader::ParsePacket(SXMPMeta* meta, const std::string& buffer, uint32_t offset, uint32_t length) {
    if (!meta) return E_FAIL;
    // The stretch comes from the scanner, but never read outside the buffer.
    if (offset > buffer.size() || length > buffer.size() - offset) return E_FAIL;
    GuardedParse parse(*meta);
    VELMORA_RETURN_IF_FAILED(parse.Feed(buffer.data() + offset, length));
    return parse.Finish();
}

}  // namespace velmora
