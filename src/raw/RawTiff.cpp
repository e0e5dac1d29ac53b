// Panasonic RW2, Leica RWL and Olympus ORF: TIFF structures whose header
// holds a magic of the camera maker's instead of TIFF's 42. The TIFF handler
// reads the document in place through a window that shows it the standard
// header of the same byte order; every other byte is the document's own.
#include "raw/RawContainers.h"

#include "formats/FormatHandler.h"
#include "io/SourceWindow.h"

namespace velmora {

HandlerReading ReadTiffRaw(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = format;
    uint8_t order = 0;
    reading.readFailure = source.ReadExactly(0, &order, 1);
    if (reading.readFailure != S_OK) {
        if (SUCCEEDED(reading.readFailure)) reading.readFailure = S_OK;
        reading.outcome = HandlerReading::Outcome::Failed;
        return reading;
    }
    SourceWindow window(source, 0, source.Size());
    window.ReplaceHead(order == 'M' ? "MM\0*" : "II*\0", 4);
    reading = ReadWithHandler(window, kXMP_TIFFFile, importNativeMetadata, meta);
    reading.format = format;
    return reading;
}

}  // namespace velmora
