// Reading a document's metadata where its format keeps it, through the
// toolkit's file handler for that format (told from the document's first
// bytes), over the document's byte source: the XMP the format defines for the
// document itself (not an embedded file's or a second image's), with JPEG's
// extended XMP joined in, and, unless told not to, the format's own metadata
// (Exif, TIFF tags, IPTC, Photoshop resources) reconciled into it by the
// toolkit's rules. Without native metadata, the format's own packet, as the
// handler finds it, is parsed through the filter's guard; JPEG's extended XMP
// then stays out. The handler reads only the structures it needs. Every XML
// parse inside it passes the toolkit's own guard against deep nesting and
// entity declarations (see the toolkit's build recipe): a packet refused
// there is passed over by the handler as one that does not parse.
// Two containers are read by the filter's own readers, with the same
// outcomes: JPEG XL, which the toolkit has no handler for (JxlBoxes.h), and
// PNG's XMP outside the standard uncompressed iTXt chunk, where the handler
// finds none (PngText.h). Camera raw formats with a container of their own
// are not read here: the reading names their format, with no handler, for
// the raw readers (raw/RawContainers.h).
#pragma once

#include "formats/HandlerReading.h"
#include "io/ByteSource.h"
#include "packet/PacketReader.h"
#include "toolkit/XmpToolkit.h"

namespace velmora {

// Fills meta (an empty model) through the handler for the document's format
// (for HEIF, Velmora's own container reading). Throws std::bad_alloc.
HandlerReading ReadThroughHandler(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);

// Fills meta (an empty model) through the toolkit's handler for `format`,
// whatever the document's first bytes say. Throws std::bad_alloc.
HandlerReading ReadWithHandler(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata,
                               SXMPMeta& meta);

}  // namespace velmora
