// A document's format, told from its first bytes (its magic number), never
// from its name: the format whose handler in the toolkit may read it, or
// kXMP_UnknownFile for every other document. Only image formats are ever
// named, so no audio, video or package handler sees a document; HEIF
// (kXMP_HEIFFile) is read by Velmora's own container reading, not the
// toolkit's.
#pragma once

#include "toolkit/XmpToolkit.h"

#include <cstddef>
#include <cstdint>

namespace velmora {

// Formats the toolkit has no handler for, read by the filter's own
// container readers: a JPEG XL container ("JXL " signature box), and a bare
// JPEG XL codestream, which has no place for metadata.
constexpr XMP_FileFormat kJpegXlFile = 0x4A584C20UL;        // "JXL "
constexpr XMP_FileFormat kJpegXlCodestream = 0x4A584C43UL;  // "JXLC"

// Camera raw formats with a container or a magic of their own, read by the
// filter's raw readers (raw/RawContainers.h). Phase One's IIQ and the other raw
// formats with a standard TIFF header are TIFF.
constexpr XMP_FileFormat kPanasonicRawFile = 0x52573220UL;  // "RW2 ": RW2 and Leica's RWL
constexpr XMP_FileFormat kOlympusRawFile = 0x4F524620UL;    // "ORF "
constexpr XMP_FileFormat kFujifilmRawFile = 0x52414620UL;   // "RAF "
constexpr XMP_FileFormat kCanonCr3File = 0x43523320UL;      // "CR3 "
constexpr XMP_FileFormat kMinoltaRawFile = 0x4D525720UL;    // "MRW "
constexpr XMP_FileFormat kCanonCrwFile = 0x43525720UL;      // "CRW "
constexpr XMP_FileFormat kSigmaRawFile = 0x58334620UL;      // "X3F "

// How many first bytes tell the format.
constexpr size_t kFormatHeadSize = 1024;

XMP_FileFormat FormatOfDocument(const uint8_t* head, size_t length);

// Whether `format` is one of the camera raw formats above.
bool IsRawFormat(XMP_FileFormat format);

// "JPEG", "TIFF", ... for the log; "unknown" for any other.
const wchar_t* FormatName(XMP_FileFormat format);

}  // namespace velmora
