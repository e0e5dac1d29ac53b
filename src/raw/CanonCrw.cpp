// Canon CRW: a CIFF heap. The header ("II" or "MM", its own length,
// "HEAPCCDR") is followed by the root heap, which runs to the document's
// end. A heap's last 4 bytes give the offset of its record table (from the
// heap's start): a count, then 10-byte records of a tag, a length and an
// offset into the heap (or, for small values, 8 bytes of data in the record
// itself). Records whose type is a heap hold further records. The camera's
// make and model (0x080a: two texts) and its capture time (0x180e: seconds
// since 1970 by the camera's clock) are read; the XMP, which ExifTool puts
// in a trailer, is found by the packet search and wins over them.
#include "raw/RawContainers.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"

#include <string>

namespace velmora {

namespace {

constexpr uint16_t kMakeModel = 0x080A;
constexpr uint16_t kTimeStamp = 0x180E;
// Heaps in heaps: a real file nests three deep.
constexpr int kMaxDepth = 8;
// Records in all, over every heap: a real file has about a hundred.
constexpr int kMaxRecords = 4096;
// The most of one record read: make and model are two short texts.
constexpr uint32_t kMaxRecordRead = 256;

class CiffReader {
public:
    CiffReader(ByteSource& source, bool bigEndian) : source(source), big(bigEndian) {}

    // Reads the heap of `length` bytes at `start`. S_OK, or a failed read's
    // code; damage ends the walk where it is found.
    HRESULT ReadHeap(uint64_t start, uint64_t length, int depth);

    CameraRecords records;

private:
    HRESULT ReadRecord(const uint8_t* record, uint64_t start, uint64_t length, int depth);
    HRESULT Take(uint16_t id, const uint8_t* data, uint64_t at, uint32_t size);

    ByteSource& source;
    bool big;
    int recordsLeft = kMaxRecords;
};

HRESULT CiffReader::ReadHeap(uint64_t start, uint64_t length, int depth) {
    if (depth > kMaxDepth || length < 4 + 2) return S_OK;
    uint8_t bytes[4];
    HRESULT hr = source.ReadExactly(start + length - 4, bytes, 4);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    const uint32_t table = Read32(bytes, big);
    if (table > length - 4 || length - 4 - table < 2) {
        debugger.Log(1, L"ERROR: a CRW heap's record table lies outside the heap; its records are not read \n");
        return S_OK;
    }
    hr = source.ReadExactly(start + table, bytes, 2);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    const uint32_t count = Read16(bytes, big);
    if (count > (length - 4 - table - 2) / 10) {
        debugger.Log(1, L"ERROR: a CRW heap's record table runs past the heap; its records are not read \n");
        return S_OK;
    }
    for (uint32_t i = 0; i < count && recordsLeft > 0; ++i, --recordsLeft) {
        uint8_t record[10];
        hr = source.ReadExactly(start + table + 2 + 10 * uint64_t{i}, record, sizeof record);
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
        hr = ReadRecord(record, start, length, depth);
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT CiffReader::ReadRecord(const uint8_t* record, uint64_t start, uint64_t length, int depth) {
    const uint16_t tag = Read16(record, big);
    const uint16_t id = tag & 0x3FFF;
    const uint16_t location = tag & 0xC000, type = tag & 0x3800;
    if (location == 0x4000) return Take(id, record + 2, 0, 8);  // the data in the record
    if (location != 0) return S_OK;
    const uint32_t size = Read32(record + 2, big), offset = Read32(record + 6, big);
    if (offset > length || size > length - offset) return S_OK;  // not inside its heap: passed over
    if (type == 0x2800 || type == 0x3000) return ReadHeap(start + offset, size, depth + 1);
    return Take(id, nullptr, start + offset, size);
}

// A record's data, from the record itself or from `at` in the document.
HRESULT CiffReader::Take(uint16_t id, const uint8_t* data, uint64_t at, uint32_t size) {
    if (id != kMakeModel && id != kTimeStamp) return S_OK;
    uint8_t bytes[kMaxRecordRead];
    const uint32_t wanted = size < kMaxRecordRead ? size : kMaxRecordRead;
    if (data) {
        std::copy(data, data + wanted, bytes);
    } else {
        const HRESULT hr = source.ReadExactly(at, bytes, wanted);
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes), wanted);
    if (id == kMakeModel && records.make.empty()) {
        records.make = RecordText(text);
        const size_t end = text.find('\0');
        if (end != std::string_view::npos) records.model = RecordText(text.substr(end + 1));
    } else if (id == kTimeStamp && wanted >= 4 && records.date.empty()) {
        const uint32_t seconds = Read32(bytes, big);
        if (seconds != 0) records.date = XmpDateOfUnixTime(seconds);
    }
    return S_OK;
}

}  // namespace

HandlerReading ReadCanonCrw(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = kCanonCrwFile;
    reading.outcome = HandlerReading::Outcome::Nothing;
    bool found = false;
    reading.readFailure = ReadLoosePacket(source, meta, found);
    if (FAILED(reading.readFailure)) return reading;
    if (found) reading.outcome = HandlerReading::Outcome::Xmp;
    if (!importNativeMetadata) return reading;

    uint8_t header[6];
    HRESULT hr = source.ReadExactly(0, header, sizeof header);
    if (FAILED(hr)) reading.readFailure = hr;
    if (hr != S_OK) return reading;
    const bool big = header[0] == 'M';
    const uint32_t headerLength = Read32(header + 2, big);
    if (headerLength < 14 || headerLength > source.Size()) {
        debugger.Log(1, L"ERROR: the CRW header's length points outside the document \n");
        return reading;
    }
    CiffReader ciff(source, big);
    hr = ciff.ReadHeap(headerLength, source.Size() - headerLength, 0);
    if (FAILED(hr)) {
        reading.readFailure = hr;
        return reading;
    }
    reading.outcome = AddCameraRecords(ciff.records, reading.outcome, importNativeMetadata, meta);
    return reading;
}

}  // namespace velmora
