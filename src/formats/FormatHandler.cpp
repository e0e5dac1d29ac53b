#include "formats/FormatHandler.h"

#include "toolkit/SourceIO.h"
#include "formats/DocumentFormat.h"
#include "formats/HeifMetadata.h"
#include "formats/JxlBoxes.h"
#include "formats/NativeValues.h"
#include "packet/PacketReader.h"
#include "formats/PngText.h"

#include <algorithm>
#include <limits>
#include <string>

namespace velmora {

namespace {

// The toolkit's handler for `format` over io. Throws XMP_Error for a
// document the handler fails on.
HandlerReading::Outcome ReadWithToolkitHandler(XMP_IO& io, XMP_FileFormat format, bool importNativeMetadata,
                                               SXMPMeta& meta) {
    SXMPFiles file;
    // Only this format's own handler, and no packet scanning: that is the
    // filter's own search, which comes after.
    XMP_OptionBits options = kXMPFiles_OpenForRead | kXMPFiles_OpenUseSmartHandler | kXMPFiles_OpenStrictly;
    if (!importNativeMetadata) options |= kXMPFiles_OpenOnlyXMP;
    if (!file.OpenFile(&io, format, options)) return HandlerReading::Outcome::Refused;
    if (!importNativeMetadata) {
        // The handlers reconcile whatever they are told, so XMP alone is the
        // format's own packet as it stands in the file, parsed here.
        std::string packet;
        const bool found = file.GetXMP(nullptr, &packet, nullptr);
        file.CloseFile();
        return found && !packet.empty() && PacketReader::ParseWholePacket(packet, meta) ? HandlerReading::Outcome::Xmp
                                                                                        : HandlerReading::Outcome::Nothing;
    }
    XMP_PacketInfo packet;
    const bool found = file.GetXMP(&meta, nullptr, &packet);
    file.CloseFile();
    const bool ownPacket = packet.offset != kXMPFiles_UnknownOffset || packet.length > 0;
    if (!found || !HasProperties(meta)) return HandlerReading::Outcome::Nothing;
    return ownPacket ? HandlerReading::Outcome::Xmp : HandlerReading::Outcome::NativeOnly;
}

}  // namespace

HandlerReading ReadThroughHandler(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    uint8_t head[kFormatHeadSize];
    DWORD got = 0;
    reading.readFailure = source.ReadAt(0, head, static_cast<DWORD>(std::min<uint64_t>(sizeof head, source.Size())), got);
    if (FAILED(reading.readFailure)) {
        reading.outcome = HandlerReading::Outcome::Failed;
        return reading;
    }
    reading.format = FormatOfDocument(head, got);
    // Containers the toolkit has no handler for are read here.
    if (reading.format == kJpegXlFile || reading.format == kJpegXlCodestream) {
        try {
            ReadJpegXl(source, importNativeMetadata, meta, reading);
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
            reading.outcome = HandlerReading::Outcome::Failed;
        }
        return reading;
    }
    if (reading.format == kXMP_UnknownFile) return reading;
    if (reading.format == kXMP_HEIFFile) return ReadHeifContainer(source, importNativeMetadata, meta);
    // Camera raw containers are read by the raw readers (raw/RawContainers.h).
    if (IsRawFormat(reading.format)) return reading;
    reading = ReadWithHandler(source, reading.format, importNativeMetadata, meta);
    // The handler reads the standard place, an uncompressed iTXt chunk; the
    // other places of PNG's XMP are read where it finds none.
    if (reading.format == kXMP_PNGFile && reading.outcome != HandlerReading::Outcome::Xmp &&
        SUCCEEDED(reading.readFailure)) {
        try {
            meta = SXMPMeta();
            ReadPngText(source, meta, reading);
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
            reading.outcome = HandlerReading::Outcome::Failed;
        }
    }
    // What the handler leaves out of the native metadata, or gets wrong.
    if (importNativeMetadata && SUCCEEDED(reading.readFailure) &&
        (reading.outcome == HandlerReading::Outcome::Xmp || reading.outcome == HandlerReading::Outcome::NativeOnly ||
         reading.outcome == HandlerReading::Outcome::Nothing)) {
        AddNativeValues(source, reading, meta);
    }
    return reading;
}

HandlerReading ReadWithHandler(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata,
                               SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = format;
    SourceIO io(source);
    try {
        reading.outcome = ReadWithToolkitHandler(io, reading.format, importNativeMetadata, meta);
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
        reading.outcome = HandlerReading::Outcome::Failed;
    }
    if (FAILED(io.ReadFailure())) {
        reading.readFailure = io.ReadFailure();
        reading.outcome = HandlerReading::Outcome::Failed;
    }
    return reading;
}

}  // namespace velmora
