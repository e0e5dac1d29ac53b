// The box walk of a JPEG XL container, the XMP and Exif boxes read (and
// decompressed), and the Exif imported through the toolkit's JPEG handler.
#include "formats/JxlBoxes.h"

#include "formats/FormatHandler.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "toolkit/SourceIO.h"
#include "formats/Decompress.h"
#include "formats/DocumentFormat.h"
#include "formats/ExifImport.h"
#include "packet/PacketReader.h"

#include <limits>
#include <string>

namespace velmora {

namespace {

constexpr uint32_t FourCC(const char (&name)[5]) { return ReadBig32(name); }

// A box's content as it lies in the document; brotli: compressed, and the
// inner type (4 bytes) already skipped.
struct BoxContent {
    bool found = false;
    bool brotli = false;
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct MetadataBoxes {
    BoxContent xmp;
    BoxContent exif;
};

// Walks the box headers until both boxes are found or the boxes end. A
// header that is cut short or claims more than the document holds ends the
// walk: what came before it still counts. S_OK, or a failed read's code.
HRESULT WalkBoxes(ByteSource& source, MetadataBoxes& boxes) {
    const uint64_t size = source.Size();
    for (uint64_t at = 0; at < size && !(boxes.xmp.found && boxes.exif.found);) {
        uint8_t header[16];
        if (size - at < 8) break;
        HRESULT hr = S_OK;
        if (!source.ReadOrEnd(at, header, 8, hr)) return hr;
        uint64_t length = ReadBig32(header);
        const uint32_t type = ReadBig32(header + 4);
        uint64_t headerLength = 8;
        if (length == 1) {
            if (size - at < 16) break;
            if (!source.ReadOrEnd(at + 8, header + 8, 8, hr)) return hr;
            length = ReadBig64(header + 8);
            headerLength = 16;
        } else if (length == 0) {
            length = size - at;  // the last box, to the document's end
        }
        if (length < headerLength || length > size - at) {
            debugger.Log(1, L"ERROR: a JPEG XL box runs past the end of the document; the boxes after it are not read \n");
            break;
        }
        BoxContent content{true, false, at + headerLength, length - headerLength};
        uint32_t inner = type;
        if (type == FourCC("brob") && content.length >= 4) {
            uint8_t name[4];
            if (!source.ReadOrEnd(content.offset, name, 4, hr)) return hr;
            inner = ReadBig32(name);
            content.brotli = true;
            content.offset += 4;
            content.length -= 4;
        }
        if (inner == FourCC("xml ") && !boxes.xmp.found) boxes.xmp = content;
        if (inner == FourCC("Exif") && !boxes.exif.found) boxes.exif = content;
        at += length;
    }
    return S_OK;
}

// A box's content into bytes, decompressed where it is compressed. False
// (with a log line) for content that cannot be used.
bool ReadBox(ByteSource& source, const BoxContent& box, const wchar_t* name, std::string& bytes, HRESULT& readFailure) {
    return ReadMetadataBlock(source, box.offset, box.length, box.brotli ? Compression::Brotli : Compression::None,
                             L"the JPEG XL " + std::wstring(name) + L" box", bytes, readFailure);
}

}  // namespace

void ReadJpegXl(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta, HandlerReading& reading) {
    reading.outcome = HandlerReading::Outcome::Nothing;
    if (reading.format != kJpegXlFile) return;  // a bare codestream

    MetadataBoxes boxes;
    HRESULT hr = WalkBoxes(source, boxes);
    std::string xmp, tiff;
    bool haveXmp = false, haveExif = false;
    if (SUCCEEDED(hr) && boxes.xmp.found) haveXmp = ReadBox(source, boxes.xmp, L"XMP", xmp, hr);
    if (SUCCEEDED(hr) && boxes.exif.found && importNativeMetadata) {
        std::string block;
        haveExif = ReadBox(source, boxes.exif, L"Exif", block, hr);
        tiff = TiffOfExifBlock(block);
        haveExif = haveExif && !tiff.empty();
        if (haveExif && tiff.size() > kMaxSegmentTiff) {
            debugger.Log(1, L"ERROR: the JPEG XL Exif box is larger than a JPEG's Exif segment and is passed over \n");
            haveExif = false;
        }
    }
    if (FAILED(hr)) {
        reading.readFailure = hr;
        reading.outcome = HandlerReading::Outcome::Failed;
        return;
    }
    if (haveXmp) reading.place = boxes.xmp.brotli ? L"a brob box" : L"an xml box";

    if (!haveExif) {
        if (haveXmp && PacketReader::ParseWholePacket(xmp, meta)) reading.outcome = HandlerReading::Outcome::Xmp;
        return;
    }
    if (!haveXmp || xmp.size() <= kMaxSegmentXmp) {
        reading.outcome = ReconcileAsJpeg(haveXmp ? xmp : std::string(), tiff, true, meta);
        return;
    }
    // XMP too large for one JPEG segment: the Exif's properties are added
    // where the XMP has none of its own.
    if (!PacketReader::ParseWholePacket(xmp, meta)) {
        meta = SXMPMeta();
        reading.outcome = ReconcileAsJpeg({}, tiff, true, meta);
        return;
    }
    SXMPMeta native;
    if (ReconcileAsJpeg({}, tiff, true, native) == HandlerReading::Outcome::NativeOnly) {
        try {
            SXMPUtils::ApplyTemplate(&meta, native, kXMPTemplate_AddNewProperties | kXMPTemplate_IncludeInternalProperties);
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
        }
    }
    reading.outcome = HandlerReading::Outcome::Xmp;
}

}  // namespace velmora
