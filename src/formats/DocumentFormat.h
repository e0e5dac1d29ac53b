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

// How many first bytes tell the format.
constexpr size_t kFormatHeadSize = 1024;

XMP_FileFormat FormatOfDocument(const uint8_t* head, size_t length);

// "JPEG", "TIFF", ... for the log; "unknown" for any other.
const wchar_t* FormatName(XMP_FileFormat format);

}  // namespace velmora
