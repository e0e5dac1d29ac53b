// JPEG XL documents. A container is a sequence of ISO base media boxes after
// its "JXL " signature box; the filter walks their headers in place, reading
// nothing of the codestream, and takes the first XMP box ("xml ") and the
// first Exif box ("Exif": a 4-byte offset, then a TIFF structure), each also
// in its Brotli-compressed form (a "brob" box naming the inner type).
// Decompressed and stored boxes alike are capped at kMaxDecompressedBlock.
// The Exif is imported into the XMP by the toolkit's rules for JPEG: the two
// are handed to its JPEG handler as a small JPEG in memory (an Exif larger
// than a JPEG's one Exif segment is passed over, with a log line). A bare
// codestream has no place for metadata and gives nothing.
// Not thread-safe: one call serves one load.
#pragma once

#include "io/ByteSource.h"
#include "formats/HandlerReading.h"
#include "toolkit/XmpToolkit.h"

namespace velmora {

// Fills meta (an empty model) and reading's outcome, place and read failure.
// Throws std::bad_alloc.
void ReadJpegXl(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta, HandlerReading& reading);

}  // namespace velmora
