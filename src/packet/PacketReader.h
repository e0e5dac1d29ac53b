// How a document's XMP packet is chosen and parsed where no format handler
// reads the document. The reader goes through the document's bytes once,
// through one block, and the packet search (PacketSearch, which reports the
// snips the toolkit's packet scanner would report) marks the packets in them.
// Of several snips the last valid packet is read back and parsed; a document
// seen as one snip (no packet at all, or nothing but one packet) is fed to
// the parser whole, block by block. Every parse passes the XML guard first
// (XmlGuard). Memory per document is one block plus the chosen packet; one
// full-size block is kept for the next document (see PacketReader.cpp).
// Not thread-safe: one reader serves one load; readers on several threads
// may run at once.
#pragma once

#include "io/ByteSource.h"
#include "toolkit/XmpToolkit.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

class PacketReader {
public:
    // Documents are read in blocks of this size (a smaller document through
    // a block of its own size).
    static constexpr uint32_t kReadBlockSize = 256 * 1024;

    explicit PacketReader(ByteSource& source) : source(source) {}
    ~PacketReader();
    PacketReader(const PacketReader&) = delete;
    PacketReader& operator=(const PacketReader&) = delete;

    // Reads the first block. E_OUTOFMEMORY without memory for the block,
    // E_FAIL when the document holds not one byte, or the read's own code.
    HRESULT Open();

    // Chooses the packet and parses it into meta: S_OK with a model (left
    // empty when there are several snips and none is a valid packet), E_FAIL
    // when the chosen stretch does not parse. After a failed read ReadFailure
    // tells its code. Throws for scanner errors and allocation failures.
    HRESULT ReadInto(SXMPMeta& meta);

    // The code of the first read that failed, or S_OK.
    HRESULT ReadFailure() const { return readFailure; }

    // Parses buffer[offset, offset + length) into meta in one call.
    static HRESULT ParsePacket(SXMPMeta* meta, const std::string& buffer, uint32_t offset, uint32_t length);

    // A packet that a format reader took out whole, parsed into meta (an
    // empty model): true when it fits one parser call, parses, and gives a
    // model with one property at least. Throws std::bad_alloc.
    static bool ParseWholePacket(const std::string& packet, SXMPMeta& meta);

private:
    // Up to one block at offset into the block; 0 at the end or after a
    // failed read.
    DWORD ReadBlock(uint64_t offset);
    // Exactly length bytes at offset.
    bool ReadStretch(uint64_t offset, uint64_t length, std::string& bytes);
    HRESULT ParseInBlocks(SXMPMeta& meta, uint64_t length);

    ByteSource& source;
    std::unique_ptr<char[]> block;
    bool fullBlock = false;    // the block holds kReadBlockSize bytes
    DWORD blockSize = 0;
    uint64_t blockOffset = 0;  // where the bytes in the block came from
    DWORD blockFilled = 0;     // how many of them there are
    HRESULT readFailure = S_OK;
};

// Whether the model holds one property at least.
bool HasProperties(const SXMPMeta& meta);

}  // namespace velmora
