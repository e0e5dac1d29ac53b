// Sigma X3F: a header ("FOVb", a version), then sections, listed by a
// directory whose offset the document's last 4 bytes give (all numbers
// little-endian): "SECd", a version and a count, then 12-byte entries of an
// offset, a length and a type. The PROP section is a property list of
// UTF-16 names and values: CAMMANUF (make), CAMMODEL (model) and TIME
// (the capture time, seconds since 1970 by the camera's clock). Later
// cameras write an IMA2 section holding a JPEG preview with Exif and leave
// the properties out; the JPEG handler reads that preview in place. XMP in
// the preview wins over the properties.
#include "raw/RawContainers.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "formats/FormatHandler.h"
#include "io/SourceWindow.h"

#include <cstring>
#include <string>

namespace velmora {

namespace {

// A real directory has five sections or so.
constexpr uint32_t kMaxSections = 64;
// A real property list is a few KB.
constexpr uint32_t kMaxProperties = 256 * 1024;
// The header of an IMA2 section that holds a JPEG preview: version 2.0,
// type 2 (a preview), format 18 (JPEG).
constexpr std::string_view kJpegPreviewHeader("SECi\0\0\x02\0\x02\0\0\0\x12\0\0\0", 16);
constexpr uint32_t kImageHeaderSize = 28;

struct Section {
    uint32_t offset = 0;
    uint32_t length = 0;
    bool found = false;
};

// The UTF-16 text at character `at` of chars, to its NUL, as UTF-8 (the
// names and values are ASCII; other characters are passed over).
std::string TextAt(std::string_view chars, uint32_t at) {
    std::string text;
    for (size_t i = size_t{at} * 2; i < chars.size() && chars.size() - i >= 2; i += 2) {
        const uint16_t c = ReadLittle16(chars.data() + i);
        if (c == 0) break;
        if (c < 0x80) text += static_cast<char>(c);
    }
    return text;
}

void ReadProperties(std::string_view list, CameraRecords& records) {
    if (list.size() < 24 || list.compare(0, 4, "SECp") != 0) return;
    const uint32_t entries = ReadLittle32(list.data() + 8), format = ReadLittle32(list.data() + 12);
    if (format != 0 || entries > (list.size() - 24) / 8) {
        debugger.Log(1, L"ERROR: the X3F property list is damaged and is passed over \n");
        return;
    }
    const std::string_view chars = list.substr(24 + size_t{entries} * 8);
    const uint32_t charCount = static_cast<uint32_t>(chars.size() / 2);
    for (uint32_t i = 0; i < entries; ++i) {
        const char* const entry = list.data() + 24 + size_t{i} * 8;
        const uint32_t name = ReadLittle32(entry), value = ReadLittle32(entry + 4);
        if (name >= charCount || value >= charCount) continue;
        const std::string key = TextAt(chars, name);
        if (key == "CAMMANUF" && records.make.empty()) {
            records.make = RecordText(TextAt(chars, value));
        } else if (key == "CAMMODEL" && records.model.empty()) {
            records.model = RecordText(TextAt(chars, value));
        } else if (key == "TIME" && records.date.empty()) {
            const std::string digits = TextAt(chars, value);
            if (!digits.empty() && digits.size() <= 10 && digits.find_first_not_of("0123456789") == std::string::npos) {
                const unsigned long long seconds = std::stoull(digits);
                if (seconds > 0 && seconds <= 0xFFFFFFFFull) records.date = XmpDateOfUnixTime(static_cast<uint32_t>(seconds));
            }
        }
    }
}

}  // namespace

HandlerReading ReadSigmaX3f(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = kSigmaRawFile;
    reading.outcome = HandlerReading::Outcome::Nothing;
    const uint64_t size = source.Size();
    uint8_t bytes[16];
    if (size < 12 + 4) return reading;
    HRESULT hr = source.ReadExactly(size - 4, bytes, 4);
    if (FAILED(hr)) reading.readFailure = hr;
    if (hr != S_OK) return reading;
    const uint32_t directory = ReadLittle32(bytes);
    if (directory > size - 4 || size - 4 - directory < 12) {
        debugger.Log(1, L"ERROR: the X3F directory lies outside the document \n");
        return reading;
    }
    hr = source.ReadExactly(directory, bytes, 12);
    if (FAILED(hr)) reading.readFailure = hr;
    if (hr != S_OK || std::memcmp(bytes, "SECd", 4) != 0) return reading;
    const uint32_t count = ReadLittle32(bytes + 8);
    if (count > kMaxSections || count > (size - 4 - directory - 12) / 12) {
        debugger.Log(1, L"ERROR: the X3F directory runs past the document \n");
        return reading;
    }
    Section properties, preview;
    for (uint32_t i = 0; i < count; ++i) {
        hr = source.ReadExactly(directory + 12 + 12 * uint64_t{i}, bytes, 12);
        if (FAILED(hr)) reading.readFailure = hr;
        if (hr != S_OK) return reading;
        const Section section{ReadLittle32(bytes), ReadLittle32(bytes + 4), true};
        if (section.offset > size || section.length > size - section.offset) continue;
        if (std::memcmp(bytes + 8, "PROP", 4) == 0 && !properties.found) properties = section;
        if (std::memcmp(bytes + 8, "IMA2", 4) == 0 && !preview.found && section.length > kImageHeaderSize) {
            char header[kJpegPreviewHeader.size()];
            hr = source.ReadExactly(section.offset, header, sizeof header);
            if (FAILED(hr)) reading.readFailure = hr;
            if (hr != S_OK) return reading;
            if (kJpegPreviewHeader == std::string_view(header, sizeof header)) preview = section;
        }
    }
    if (preview.found) {
        SourceWindow jpeg(source, preview.offset + uint64_t{kImageHeaderSize}, preview.length - kImageHeaderSize);
        reading = ReadWithHandler(jpeg, kXMP_JPEGFile, importNativeMetadata, meta);
        reading.format = kSigmaRawFile;
        if (FAILED(reading.readFailure)) return reading;
    }
    CameraRecords records;
    if (properties.found && importNativeMetadata) {
        if (properties.length > kMaxProperties) {
            debugger.Log(1, L"ERROR: the X3F property list is larger than any real one and is passed over \n");
        } else {
            std::string list(properties.length, '\0');
            hr = source.ReadExactly(properties.offset, list.data(), properties.length);
            if (FAILED(hr)) {
                reading.readFailure = hr;
                return reading;
            }
            if (hr == S_OK) ReadProperties(list, records);
        }
    }
    reading.outcome = AddCameraRecords(records, reading.outcome, importNativeMetadata, meta);
    return reading;
}

}  // namespace velmora
