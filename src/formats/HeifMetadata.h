// The metadata of a HEIF document (HEIC, AVIF and the other brands), read as
// its container defines: the XMP item (a `mime` item of type
// application/rdf+xml) and the `Exif` item that describe the primary image,
// never the items of a gain map, thumbnail, depth map or other auxiliary
// image. libheif reads the container's boxes through the document's byte
// source, in place, skipping the coded image data; it takes in the data of
// every metadata item as it goes, so everything it may read of one document
// is capped at SourceIO::kMaxRead in all. The primary image's Exif is
// reconciled into its XMP by the toolkit's own JPEG rules: both are handed
// to the toolkit's JPEG handler as the APP1 segments of a JPEG made in memory
// (an XMP item or Exif too large for one segment is read without the other).
#pragma once

#include "io/ByteSource.h"
#include "formats/HandlerReading.h"
#include "toolkit/XmpToolkit.h"

namespace velmora {

// Fills meta (an empty model). Outcomes: Xmp or NativeOnly as for the
// toolkit's handlers; Failed when the container cannot be read; Nothing when
// none of its items holds metadata; NoneOfItsOwn when only other items do,
// or the primary image's metadata does not parse. Throws std::bad_alloc.
HandlerReading ReadHeifContainer(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);

}  // namespace velmora
