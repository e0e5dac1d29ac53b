#include "xmp/FormatHandler.h"

#include "io/SourceIO.h"
#include "xmp/DocumentFormat.h"
#include "xmp/HeifMetadata.h"
#include "xmp/PacketReader.h"

#include <algorithm>
#include <limits>
#include <string>

namespace velmora {

bool HasProperties(const SXMPMeta& meta) {
    SXMPIterator properties(meta, kXMP_IterJustLeafNodes);
    return properties.Next();
}

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
    if (reading.format == kXMP_UnknownFile) return reading;
    if (reading.format == kXMP_HEIFFile) return ReadHeifContainer(source, importNativeMetadata, meta);
    return ReadWithHandler(source, reading.format, importNativeMetadata, meta);
}

HandlerReading ReadWithHandler(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata,
                               SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = format;
    SourceIO io(source);
    try {
        SXMPFiles file;
        // Only this format's own handler, and no packet scanning: that is
        // the filter's own search, which comes after.
        XMP_OptionBits options = kXMPFiles_OpenForRead | kXMPFiles_OpenUseSmartHandler | kXMPFiles_OpenStrictly;
        if (!importNativeMetadata) options |= kXMPFiles_OpenOnlyXMP;
        if (!file.OpenFile(&io, reading.format, options)) {
            reading.outcome = HandlerReading::Outcome::Refused;
        } else if (!importNativeMetadata) {
            // The handlers reconcile whatever they are told, so XMP alone is
            // the format's own packet as it stands in the file, parsed here.
            std::string packet;
            const bool found = file.GetXMP(nullptr, &packet, nullptr);
            file.CloseFile();
            const bool parsed =
                found && !packet.empty() && packet.size() <= std::numeric_limits<uint32_t>::max() &&
                PacketReader::ParsePacket(&meta, packet, 0, static_cast<uint32_t>(packet.size())) == S_OK;
            reading.outcome = parsed && HasProperties(meta) ? HandlerReading::Outcome::Xmp
                                                            : HandlerReading::Outcome::Nothing;
        } else {
            XMP_PacketInfo packet;
            const bool found = file.GetXMP(&meta, nullptr, &packet);
            file.CloseFile();
            const bool ownPacket = packet.offset != kXMPFiles_UnknownOffset || packet.length > 0;
            if (!found || !HasProperties(meta)) {
                reading.outcome = HandlerReading::Outcome::Nothing;
            } else if (ownPacket) {
                reading.outcome = HandlerReading::Outcome::Xmp;
            } else {
                reading.outcome = HandlerReading::Outcome::NativeOnly;
            }
        }
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
