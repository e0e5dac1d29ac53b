// Minolta MRW: "\0MRM" and the length of the records that follow it, up to
// the sensor data; each record is a 4-byte name and a big-endian length.
// The TTW record holds a whole TIFF structure (IFD0, Exif), whose offsets
// count from the record's content: the TIFF handler reads it in place.
#include "raw/RawContainers.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "formats/FormatHandler.h"
#include "io/SourceWindow.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

// A real file has five or six records.
constexpr int kMaxRecords = 64;

}  // namespace

HandlerReading ReadMinoltaMrw(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = kMinoltaRawFile;
    reading.outcome = HandlerReading::Outcome::Nothing;
    uint8_t header[8];
    HRESULT hr = source.ReadExactly(0, header, sizeof header);
    if (FAILED(hr)) reading.readFailure = hr;
    if (hr != S_OK) return reading;
    const uint64_t size = source.Size();
    const uint64_t end = 8 + std::min<uint64_t>(ReadBig32(header + 4), size - 8);
    uint64_t at = 8;
    for (int count = 0; count < kMaxRecords && end - at >= 8; ++count) {
        uint8_t record[8];
        hr = source.ReadExactly(at, record, sizeof record);
        if (FAILED(hr)) reading.readFailure = hr;
        if (hr != S_OK) return reading;
        const uint64_t length = ReadBig32(record + 4);
        if (length > end - at - 8) {
            debugger.Log(1, L"ERROR: an MRW record runs past the records' end; the records after it are not read \n");
            break;
        }
        if (std::memcmp(record, "\0TTW", 4) == 0) {
            SourceWindow tiff(source, at + 8, length);
            reading = ReadWithHandler(tiff, kXMP_TIFFFile, importNativeMetadata, meta);
            reading.format = kMinoltaRawFile;
            return reading;
        }
        at += 8 + length;
    }
    return reading;
}

}  // namespace velmora
