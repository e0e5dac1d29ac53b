#include "formats/ExifImport.h"

#include "common/ByteOrder.h"
#include "native/ExifTags.h"
#include "formats/FormatHandler.h"
#include "native/NativeText.h"

#include "io/ByteSource.h"

#include <cstdint>
#include <string>

namespace velmora {

namespace {

constexpr std::string_view kExifSignature("Exif\0\0", 6);
constexpr std::string_view kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kPhotoshopSignature("Photoshop 3.0\0", 14);

// One APPn segment: its marker, a 2-byte length that counts itself, the
// signature and the content.
void AppendSegment(std::string& jpeg, char marker, std::string_view signature, std::string_view content) {
    const size_t length = 2 + signature.size() + content.size();
    jpeg += '\xFF';
    jpeg += marker;
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
    return ReconcileAsJpeg(xmp, tiff, {}, importNativeMetadata, meta);
}

HandlerReading::Outcome ReconcileAsJpeg(std::string_view xmp, std::string_view tiff, std::string_view resources,
                                        bool importNativeMetadata, SXMPMeta& meta) {
    std::string jpeg("\xFF\xD8", 2);
    tiff = tiff.substr(0, kMaxSegmentTiff);
    // Of the resources, the IPTC-IIM block alone, as the one resource of a segment.
    const std::string_view iptc = IptcOfResources(resources);
    std::string irb;
    if (!iptc.empty() && iptc.size() <= 0xFFFF - 2 - kPhotoshopSignature.size() - 13) {
        irb.assign("8BIM\x04\x04\0\0", 8);
        for (int shift = 24; shift >= 0; shift -= 8) irb += static_cast<char>(iptc.size() >> shift & 0xFF);
        irb.append(iptc);
        if (iptc.size() & 1) irb += '\0';
    }
    if (importNativeMetadata && !tiff.empty()) AppendSegment(jpeg, '\xE1', kExifSignature, tiff);
    if (!xmp.empty()) AppendSegment(jpeg, '\xE1', kXmpSignature, xmp.substr(0, kMaxSegmentXmp));
    if (importNativeMetadata && !irb.empty()) {
        AppendSegment(jpeg, '\xED', kPhotoshopSignature, irb);
    }
    jpeg += "\xFF\xD9";
    MemorySource source(jpeg.data(), jpeg.size());
    HandlerReading::Outcome outcome = ReadWithHandler(source, kXMP_JPEGFile, importNativeMetadata, meta).outcome;
    if (!importNativeMetadata || (outcome != HandlerReading::Outcome::Xmp && outcome != HandlerReading::Outcome::NativeOnly &&
                                  outcome != HandlerReading::Outcome::Nothing)) {
        return outcome;
    }
    try {
        CorrectIptcText(meta, iptc);
        DropBlankValues(meta, nullptr, iptc);
        TiffTexts texts;
        MemorySource tiffSource(tiff.data(), tiff.size());
        if (!tiff.empty() && ReadTiffTexts(tiffSource, 0, tiff.size(), texts) == S_OK) AddWindowsTags(meta, texts);
        if (outcome == HandlerReading::Outcome::Nothing && HasProperties(meta)) outcome = HandlerReading::Outcome::NativeOnly;
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
    }
    return outcome;
}

}  // namespace velmora
