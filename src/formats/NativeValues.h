// What the toolkit's handlers leave out of a document's native metadata, or
// get wrong, read by the filter after the handler's read and merged into the
// model by the rules of NativeText.h:
//   JPEG   Windows' tags of the Exif block; IPTC-IIM text in its right
//          encoding; COM segments to the full text
//   TIFF   Windows' tags of IFD0; IPTC-IIM text in its right encoding
//   PSD    IPTC-IIM text in its right encoding
//   PNG    the predefined keywords of tEXt, zTXt and iTXt chunks; an eXIf
//          chunk and the raw profiles "Raw profile type exif" and
//          "Raw profile type iptc", imported as a JPEG's Exif and IPTC
//   GIF    comment extensions to the full text
//   SVG    <title> and <desc> only where the document's XMP has none
// and for all of them, a blank native value never replaces anything.
// Every structure is walked with the caps of its format reader; the image
// data is skipped unread.
#pragma once

#include "formats/HandlerReading.h"
#include "io/ByteSource.h"
#include "toolkit/XmpToolkit.h"

namespace velmora {

// After the handler's read of the document with native metadata imported
// (meta holds what it gave): adds and corrects the values above. A read that
// fails sets reading's readFailure and outcome Failed. A document the handler
// found nothing in becomes NativeOnly when native values were added.
// Throws std::bad_alloc.
void AddNativeValues(ByteSource& source, HandlerReading& reading, SXMPMeta& meta);

}  // namespace velmora
