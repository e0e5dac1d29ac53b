// Camera raw files that the toolkit's handlers do not take as they stand:
// formats with a container or a magic of their own. Each family's reader
// finds the metadata where its format keeps it, in place, through the
// document's byte source, and gives the same outcomes as a handler:
//  - Panasonic RW2, Leica RWL and Olympus ORF are TIFF structures under a
//    magic of their own: the TIFF handler reads them shown a standard
//    header (RawTiff.cpp);
//  - Fujifilm RAF: its embedded JPEG preview, which holds the Exif and the
//    XMP, through the JPEG handler (FujifilmRaf.cpp);
//  - Minolta MRW: the TIFF block of its TTW record through the TIFF handler
//    (MinoltaMrw.cpp);
//  - Canon CR3: the TIFF blocks of the CMT boxes in Canon's uuid box, joined
//    into one Exif, with the XMP of its XMP uuid box, through the JPEG
//    handler's rules (CanonCr3.cpp, TiffBlocks.h);
//  - Canon CRW (CIFF records) and Sigma X3F (a property list, and in later
//    files a JPEG preview with Exif): their own date, make and model records
//    (CanonCrw.cpp, SigmaX3f.cpp).
// XMP in these files wins over the records, as elsewhere. Every record and
// offset is checked against what holds it before it is used; every walk has
// a cap. Not thread-safe: one call serves one load.
#pragma once

#include "formats/DocumentFormat.h"
#include "formats/HandlerReading.h"
#include "io/ByteSource.h"
#include "toolkit/XmpToolkit.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Fills meta (an empty model) for a document whose format (from
// FormatOfDocument) IsRawFormat. Throws std::bad_alloc.
HandlerReading ReadRawContainer(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata,
                                SXMPMeta& meta);

// The readers of each family, with the same contract.
HandlerReading ReadTiffRaw(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata, SXMPMeta& meta);
HandlerReading ReadFujifilmRaf(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);
HandlerReading ReadMinoltaMrw(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);
HandlerReading ReadCanonCr3(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);
HandlerReading ReadCanonCrw(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);
HandlerReading ReadSigmaX3f(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta);

// What a raw format keeps of the picture in records of its own; empty
// members are absent.
struct CameraRecords {
    std::string make;
    std::string model;
    std::string date;  // the capture date, as an XMP date

    bool Empty() const { return make.empty() && model.empty() && date.empty(); }
};

// A capture time in seconds since 1970 (the camera's clock, not UTC), as
// an XMP date: "2003-11-10T17:39:26".
std::string XmpDateOfUnixTime(uint32_t seconds);

// Text of a record: up to the first NUL, without trailing spaces.
std::string RecordText(std::string_view bytes);

// Completes a reading of a format whose records are read by the filter:
// meta holds what was read before (the document's XMP, or what a handler
// made of an embedded preview) with `outcome`; the records' properties
// (tiff:Make, tiff:Model, exif:DateTimeOriginal and xmp:CreateDate) are
// added where meta has none of them. Gives the outcome of the whole.
HandlerReading::Outcome AddCameraRecords(const CameraRecords& records, HandlerReading::Outcome outcome,
                                         bool importNativeMetadata, SXMPMeta& meta);

// The document's XMP packet where its format defines no place for one (it
// is found by the packet search), into meta. S_OK with or without a packet,
// or a failed read's code.
HRESULT ReadLoosePacket(ByteSource& source, SXMPMeta& meta, bool& found);

// The packet (empty: none) with a TIFF structure (empty: none) reconciled
// into it by the toolkit's JPEG rules, into meta; a packet too large for a
// JPEG segment is parsed alone and the TIFF's properties are added where it
// has none. Throws std::bad_alloc.
HandlerReading::Outcome ReconcileXmpAndTiff(const std::string& xmp, std::string_view tiff, bool importNativeMetadata,
                                            SXMPMeta& meta);

}  // namespace velmora
