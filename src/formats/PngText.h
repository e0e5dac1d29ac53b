// The places besides the standard one where PNG writers keep XMP: an iTXt
// chunk "XML:com.adobe.xmp", compressed or not; a zTXt chunk of that keyword;
// and "Raw profile type xmp", a hex dump after a header line ("\n" name "\n"
// length "\n"), in a tEXt, zTXt or iTXt chunk. The chunk headers are read in
// place and the image data is skipped unread. The candidates are tried in
// this order: uncompressed iTXt chunks, then the others in file order; the
// first that parses with properties is taken. Compressed text is inflated
// with a cap of kMaxDecompressedBlock (a bomb stops there and is passed over,
// with a log line), and a raw profile is decoded strictly: a header and hex
// digits of exactly the length it states, split by line ends only.
// Not thread-safe: one call serves one load.
#pragma once

#include "io/ByteSource.h"
#include "formats/HandlerReading.h"
#include "toolkit/XmpToolkit.h"

#include <functional>
#include <string>
#include <string_view>

namespace velmora {

// Fills meta (an empty model), and on success reading's outcome (Xmp) and
// place; a failed read sets readFailure and the outcome Failed; otherwise
// reading is left as it was. Throws std::bad_alloc.
void ReadPngText(ByteSource& source, SXMPMeta& meta, HandlerReading& reading);

// Visits the chunks after the signature, in order, up to IEND or a chunk
// that runs past the end: visit(type, offset of its data, its length) gives
// S_OK to go on, S_FALSE to stop, or a read's failure, which the walk gives.
using ChunkVisitor = std::function<HRESULT(std::string_view type, uint64_t offset, uint64_t length)>;
HRESULT WalkPngChunks(ByteSource& source, const ChunkVisitor& visit);

// A raw profile's text to its bytes; false when it is not well formed.
bool DecodeRawProfile(const std::string& text, std::string& bytes);

}  // namespace velmora
