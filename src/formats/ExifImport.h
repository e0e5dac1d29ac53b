// Exif that a container keeps in a block of its own (HEIF's Exif item, JPEG
// XL's Exif box) is imported into XMP by the toolkit's rules for JPEG: a
// JPEG of one Exif segment and one XMP segment is made in memory and read by
// the toolkit's JPEG handler, so a phone's HEIC gives what the same camera's
// JPEG gives.
#pragma once

#include "formats/HandlerReading.h"

#include <cstddef>
#include <string_view>

namespace velmora {

// The most one JPEG segment holds of a TIFF structure, and of a packet.
constexpr size_t kMaxSegmentTiff = 0xFFFF - 2 - 6;
constexpr size_t kMaxSegmentXmp = 0xFFFF - 2 - 29;

// The TIFF structure of such a block, which starts with the big-endian
// distance from its fifth byte to the TIFF header; empty when the distance
// points outside the block or at no TIFF header.
std::string_view TiffOfExifBlock(std::string_view block);

// The packet (empty: none) with the TIFF structure (empty: none) reconciled
// into it, each at most its segment's size, through the JPEG handler into
// meta (an empty model); with importNativeMetadata false, the packet alone.
// Throws std::bad_alloc.
// Windows' own text tags of the TIFF structure, which the toolkit does not
// import, are added where the model lacks their values.
// Throws std::bad_alloc.
HandlerReading::Outcome ReconcileAsJpeg(std::string_view xmp, std::string_view tiff, bool importNativeMetadata,
                                        SXMPMeta& meta);

// The same with Photoshop image resources (empty: none), whose IPTC-IIM
// block is imported like a JPEG's, with its text decoded by its declared
// character set, else as UTF-8 where it is valid UTF-8, else as Latin-1.
HandlerReading::Outcome ReconcileAsJpeg(std::string_view xmp, std::string_view tiff, std::string_view resources,
                                        bool importNativeMetadata, SXMPMeta& meta);

}  // namespace velmora
