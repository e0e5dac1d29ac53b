// Fujifilm RAF: a header of fixed layout (its magic, versions and the
// camera's name) that points at an embedded JPEG preview and at the sensor
// data. The camera writes its Exif into the preview, and ExifTool its XMP:
// the JPEG handler reads the preview in place, where the header says it
// lies.
#include "raw/RawContainers.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "formats/FormatHandler.h"
#include "io/SourceWindow.h"

namespace velmora {

namespace {

// Where the header keeps the preview's offset and length (big-endian).
constexpr uint64_t kPreviewPointer = 0x54;

}  // namespace

HandlerReading ReadFujifilmRaf(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = kFujifilmRawFile;
    reading.outcome = HandlerReading::Outcome::Failed;
    uint8_t pointer[8];
    const HRESULT hr = source.ReadExactly(kPreviewPointer, pointer, sizeof pointer);
    if (hr != S_OK) {
        if (FAILED(hr)) reading.readFailure = hr;
        return reading;
    }
    const uint64_t offset = ReadBig32(pointer), length = ReadBig32(pointer + 4);
    const uint64_t size = source.Size();
    if (offset < kPreviewPointer + sizeof pointer || offset > size || length > size - offset || length < 4) {
        debugger.Log(1, L"ERROR: the RAF header points at no JPEG preview inside the document \n");
        return reading;
    }
    SourceWindow preview(source, offset, length);
    reading = ReadWithHandler(preview, kXMP_JPEGFile, importNativeMetadata, meta);
    reading.format = kFujifilmRawFile;
    return reading;
}

}  // namespace velmora
