#include "formats/ExifImport.h"

#include "common/ByteOrder.h"
#include "formats/FormatHandler.h"

#include "io/ByteSource.h"

#include <cstdint>
#include <string>

namespace velmora {

namespace {

constexpr std::string_view kExifSignature("Exif\0\0", 6);
constexpr std::string_view kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);

// One APP1 segment: its marker, a 2-byte length that counts itself, the
// signature and the content.
void AppendSegment(std::string& jpeg, std::string_view signature, std::string_view content) {
    const size_t length = 2 + signature.size() + content.size();
    jpeg += "\xFF\xE1";
    jpeg += static_cast<char>(length >> 8);
    jpeg += static_cast<char>(length & 0xFF);
    jpeg.append(signature);
    jpeg.append(content);
}

}  // namespace

std::string_view TiffOfExifBlock(std::string_view block) {
    if (block.size() < 4 + 8) return {};
    const uint32_t skip = ReadBig32(block.data());
    if (skip > block.size() - 4 - 8) return {};
    const std::string_view tiff = block.substr(4 + skip);
    if (tiff.compare(0, 4, std::string_view("II*\0", 4)) != 0 && tiff.compare(0, 4, std::string_view("MM\0*", 4)) != 0) {
        return {};
    }
    return tiff;
}

HandlerReading::Outcome ReconcileAsJpeg(std::string_view xmp, std::string_view tiff, bool importNativeMetadata,
                                        SXMPMeta& meta) {
    std::string jpeg("\xFF\xD8", 2);
    if (importNativeMetadata && !tiff.empty()) AppendSegment(jpeg, kExifSignature, tiff.substr(0, kMaxSegmentTiff));
    if (!xmp.empty()) AppendSegment(jpeg, kXmpSignature, xmp.substr(0, kMaxSegmentXmp));
    jpeg += "\xFF\xD9";
    MemorySource source(jpeg.data(), jpeg.size());
    return ReadWithHandler(source, kXMP_JPEGFile, importNativeMetadata, meta).outcome;
}

}  // namespace velmora
