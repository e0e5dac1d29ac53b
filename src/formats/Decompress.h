// Compressed metadata blocks (a PNG text chunk's zlib stream, a JPEG XL
// Brotli box), decompressed into memory while they are read in place from
// the document, one input block at a time. Every result is capped: output
// beyond the cap is never produced, so a small block that would expand to
// gigabytes costs no more than the cap. Time is linear in the block read.
#pragma once

#include "io/ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// No image keeps a metadata block this large: the same cap as a handler's
// largest read.
constexpr size_t kMaxDecompressedBlock = 64u << 20;

enum class Compression { None, Zlib, Brotli };

enum class Decompressed {
    Done,       // the whole stream, within the cap
    TooLarge,   // the stream goes on beyond the cap; the output is cut there
    Corrupt,    // not a valid stream, or one cut short by the block's end
    ReadFailed, // the source failed or ended early; readFailure tells how
};

// Decompresses the `length` bytes at `offset` into out (replacing it); with
// Compression::None reads them as they are, under the same cap.
// Throws std::bad_alloc when memory runs out.
Decompressed Decompress(ByteSource& source, uint64_t offset, uint64_t length, Compression compression, size_t cap,
                        std::string& out, HRESULT& readFailure);

// The same, logging a failure other than a read's as the block of `what`
// ("the JPEG XL XMP box", ...) that "is passed over". True for Done.
bool ReadMetadataBlock(ByteSource& source, uint64_t offset, uint64_t length, Compression compression,
                       const std::wstring& what, std::string& out, HRESULT& readFailure);

// The log's words for a block that was not used: "is damaged", "expands
// beyond 64 MB", ...
const wchar_t* DecompressedText(Decompressed outcome);

}  // namespace velmora
