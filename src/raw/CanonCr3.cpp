// Canon CR3: ISO base media boxes. The movie box holds Canon's own uuid box
// (85c0b687-820f-11e0-8111-f4ce462b6a48), whose CMT1, CMT2 and CMT4 boxes
// each hold a TIFF structure: IFD0, the Exif IFD and the GPS IFD. The XMP
// is a top-level uuid box of its own (be7acfcb-97a9-42e8-9c71-999491e3afac).
// The walk reads box headers in place, never the coded image data; the
// three IFDs are joined into one Exif and reconciled with the XMP by the
// JPEG handler's rules.
#include "raw/RawContainers.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "formats/Decompress.h"
#include "formats/ExifImport.h"
#include "raw/TiffBlocks.h"

#include <cstring>

namespace velmora {

namespace {

constexpr uint8_t kCanonUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                    0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};
constexpr uint8_t kXmpUuid[16] = {0xBE, 0x7A, 0xCF, 0xCB, 0x97, 0xA9, 0x42, 0xE8,
                                  0x9C, 0x71, 0x99, 0x94, 0x91, 0xE3, 0xAF, 0xAC};
// More boxes on one level than a real file has.
constexpr int kMaxBoxes = 1024;

struct Box {
    char type[4] = {};
    uint8_t uuid[16] = {};  // for a uuid box
    uint64_t content = 0;   // where the content starts (after the uuid)
    uint64_t length = 0;    // of the content
};

struct Cr3Blocks {
    Box ifd0, exif, gps, xmp;
    bool haveIfd0 = false, haveExif = false, haveGps = false, haveXmp = false;
};

// The box at `at`, which must end by `end`. S_FALSE when there is none (or
// it runs past `end`), or a failed read's code.
HRESULT ReadBox(ByteSource& source, uint64_t at, uint64_t end, Box& box) {
    uint8_t header[16];
    if (end - at < 8) return S_FALSE;
    HRESULT hr = source.ReadExactly(at, header, 8);
    if (hr != S_OK) return hr;
    uint64_t size = ReadBig32(header);
    std::memcpy(box.type, header + 4, 4);
    uint64_t headerLength = 8;
    if (size == 1) {
        if (end - at < 16) return S_FALSE;
        hr = source.ReadExactly(at + 8, header + 8, 8);
        if (hr != S_OK) return hr;
        size = ReadBig64(header + 8);
        headerLength = 16;
    } else if (size == 0) {
        size = end - at;
    }
    if (size < headerLength || size > end - at) {
        debugger.Log(1, L"ERROR: a CR3 box runs past what holds it; the boxes after it are not read \n");
        return S_FALSE;
    }
    box.content = at + headerLength;
    box.length = size - headerLength;
    if (std::memcmp(box.type, "uuid", 4) == 0) {
        if (box.length < 16) return S_FALSE;
        hr = source.ReadExactly(box.content, box.uuid, 16);
        if (hr != S_OK) return hr;
        box.content += 16;
        box.length -= 16;
    }
    return S_OK;
}

bool IsType(const Box& box, const char* type) { return std::memcmp(box.type, type, 4) == 0; }

// Walks [at, end) calling visit(box) for each box; S_OK, or a failed read's
// code.
template <typename Visit>
HRESULT Walk(ByteSource& source, uint64_t at, uint64_t end, Visit visit) {
    for (int count = 0; count < kMaxBoxes && at < end; ++count) {
        Box box;
        const HRESULT hr = ReadBox(source, at, end, box);
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
        const HRESULT visited = visit(box);
        if (visited != S_OK) return FAILED(visited) ? visited : S_OK;
        at = box.content + box.length;
    }
    return S_OK;
}

HRESULT FindBlocks(ByteSource& source, Cr3Blocks& blocks) {
    const auto inCanon = [&](const Box& box) {
        if (IsType(box, "CMT1") && !blocks.haveIfd0) blocks.ifd0 = box, blocks.haveIfd0 = true;
        if (IsType(box, "CMT2") && !blocks.haveExif) blocks.exif = box, blocks.haveExif = true;
        if (IsType(box, "CMT4") && !blocks.haveGps) blocks.gps = box, blocks.haveGps = true;
        return S_OK;
    };
    bool canonRead = false;
    const auto inMovie = [&](const Box& box) {
        if (IsType(box, "uuid") && std::memcmp(box.uuid, kCanonUuid, 16) == 0 && !canonRead) {
            canonRead = true;
            return Walk(source, box.content, box.content + box.length, inCanon);
        }
        return S_OK;
    };
    bool movieRead = false;
    return Walk(source, 0, source.Size(), [&](const Box& box) -> HRESULT {
        if (IsType(box, "moov") && !movieRead) {
            movieRead = true;
            const HRESULT hr = Walk(source, box.content, box.content + box.length, inMovie);
            if (hr != S_OK) return hr;
        }
        if (IsType(box, "uuid") && std::memcmp(box.uuid, kXmpUuid, 16) == 0 && !blocks.haveXmp) {
            blocks.xmp = box;
            blocks.haveXmp = true;
        }
        // The image data comes after what is read here.
        return movieRead && blocks.haveXmp ? S_FALSE : S_OK;
    });
}

// A CMT box's TIFF structure, at most one Exif segment's size.
bool ReadTiffBox(ByteSource& source, const Box& box, const wchar_t* name, std::string& tiff, HRESULT& hr) {
    if (box.length > kMaxSegmentTiff) {
        debugger.LogFormat(1, L"ERROR: the CR3 %s box is larger than any real one and is passed over \n", name);
        return false;
    }
    return ReadMetadataBlock(source, box.content, box.length, Compression::None,
                             L"the CR3 " + std::wstring(name) + L" box", tiff, hr);
}

}  // namespace

HandlerReading ReadCanonCr3(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = kCanonCr3File;
    reading.outcome = HandlerReading::Outcome::Nothing;
    Cr3Blocks blocks;
    HRESULT hr = FindBlocks(source, blocks);
    std::string xmp, ifd0, exif, gps;
    if (SUCCEEDED(hr) && blocks.haveXmp) {
        ReadMetadataBlock(source, blocks.xmp.content, blocks.xmp.length, Compression::None, L"the CR3 XMP box", xmp,
                          hr);
    }
    if (SUCCEEDED(hr) && importNativeMetadata) {
        if (blocks.haveIfd0) ReadTiffBox(source, blocks.ifd0, L"CMT1", ifd0, hr);
        if (SUCCEEDED(hr) && blocks.haveExif) ReadTiffBox(source, blocks.exif, L"CMT2", exif, hr);
        if (SUCCEEDED(hr) && blocks.haveGps) ReadTiffBox(source, blocks.gps, L"CMT4", gps, hr);
    }
    if (FAILED(hr)) {
        reading.readFailure = hr;
        reading.outcome = HandlerReading::Outcome::Failed;
        return reading;
    }
    const std::string tiff = JoinTiffBlocks(ifd0, exif, gps, kMaxSegmentTiff);
    if (xmp.empty() && tiff.empty()) return reading;
    if (!xmp.empty()) reading.place = L"a uuid box";
    reading.outcome = ReconcileXmpAndTiff(xmp, tiff, importNativeMetadata, meta);
    return reading;
}

}  // namespace velmora
