// The dispatch to the raw readers of each family, and what they share: the
// records a format keeps of its own, added under the XMP, and the XMP and
// Exif reconciled by the JPEG handler's rules.
#include "raw/RawContainers.h"

#include "formats/DocumentFormat.h"
#include "formats/ExifImport.h"
#include "formats/FormatHandler.h"
#include "packet/PacketReader.h"

#include <cstdio>
#include <limits>

namespace velmora {

namespace {

using Outcome = HandlerReading::Outcome;

bool ParseXmp(const std::string& xmp, SXMPMeta& meta) {
    return xmp.size() <= std::numeric_limits<uint32_t>::max() &&
           PacketReader::ParsePacket(&meta, xmp, 0, static_cast<uint32_t>(xmp.size())) == S_OK && HasProperties(meta);
}

// The properties of `native` that meta has none of, added to it.
void AddUnder(const SXMPMeta& native, SXMPMeta& meta) {
    try {
        // TIFF and Exif properties count as internal ones, which a template
        // leaves out unless told.
        SXMPUtils::ApplyTemplate(&meta, native, kXMPTemplate_AddNewProperties | kXMPTemplate_IncludeInternalProperties);
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
    }
}

}  // namespace

HandlerReading ReadRawContainer(ByteSource& source, XMP_FileFormat format, bool importNativeMetadata,
                                SXMPMeta& meta) {
    HandlerReading reading;
    try {
        switch (format) {
        case kPanasonicRawFile:
        case kOlympusRawFile: reading = ReadTiffRaw(source, format, importNativeMetadata, meta); break;
        case kFujifilmRawFile: reading = ReadFujifilmRaf(source, importNativeMetadata, meta); break;
        case kMinoltaRawFile: reading = ReadMinoltaMrw(source, importNativeMetadata, meta); break;
        case kCanonCr3File: reading = ReadCanonCr3(source, importNativeMetadata, meta); break;
        case kCanonCrwFile: reading = ReadCanonCrw(source, importNativeMetadata, meta); break;
        case kSigmaRawFile: reading = ReadSigmaX3f(source, importNativeMetadata, meta); break;
        default: break;
        }
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
        reading.outcome = Outcome::Failed;
    }
    reading.format = format;
    if (FAILED(reading.readFailure)) reading.outcome = Outcome::Failed;
    // What failed or found nothing goes to the packet search from a model
    // of its own.
    if (reading.outcome != Outcome::Xmp && reading.outcome != Outcome::NativeOnly) meta = SXMPMeta();
    return reading;
}

std::string XmpDateOfUnixTime(uint32_t seconds) {
    // Days to a civil date (proleptic Gregorian), after H. Hinnant's
    // days_from_civil inverse, for days since 1970-01-01 (never negative).
    const uint32_t days = seconds / 86400, time = seconds % 86400;
    const uint32_t z = days + 719468, era = z / 146097, dayOfEra = z - era * 146097;
    const uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint32_t mp = (5 * dayOfYear + 2) / 153;
    const uint32_t day = dayOfYear - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    const uint32_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", year, month, day, time / 3600, time / 60 % 60,
                  time % 60);
    return text;
}

std::string RecordText(std::string_view bytes) {
    std::string text(bytes.substr(0, bytes.find('\0')));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

HandlerReading::Outcome AddCameraRecords(const CameraRecords& records, Outcome outcome, bool importNativeMetadata,
                                         SXMPMeta& meta) {
    const bool before = outcome == Outcome::Xmp || outcome == Outcome::NativeOnly;
    if (!before) meta = SXMPMeta();
    if (!importNativeMetadata || records.Empty()) return before ? outcome : Outcome::Nothing;
    SXMPMeta native;
    try {
        if (!records.make.empty()) native.SetProperty(kXMP_NS_TIFF, "Make", records.make);
        if (!records.model.empty()) native.SetProperty(kXMP_NS_TIFF, "Model", records.model);
        if (!records.date.empty()) {
            native.SetProperty(kXMP_NS_EXIF, "DateTimeOriginal", records.date);
            native.SetProperty(kXMP_NS_XMP, "CreateDate", records.date);
        }
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);  // text that is not UTF-8 is left out
    }
    if (!HasProperties(native)) return before ? outcome : Outcome::Nothing;
    AddUnder(native, meta);
    return before ? outcome : Outcome::NativeOnly;
}

HRESULT ReadLoosePacket(ByteSource& source, SXMPMeta& meta, bool& found) {
    found = false;
    PacketReader reader(source);
    HRESULT hr = reader.Open();
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) return hr == E_FAIL ? S_OK : hr;
    try {
        hr = reader.ReadInto(meta);
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
        hr = E_FAIL;
    }
    if (FAILED(reader.ReadFailure())) return reader.ReadFailure();
    found = hr == S_OK && HasProperties(meta);
    if (!found) meta = SXMPMeta();
    return S_OK;
}

HandlerReading::Outcome ReconcileXmpAndTiff(const std::string& xmp, std::string_view tiff, bool importNativeMetadata,
                                            SXMPMeta& meta) {
    if (!importNativeMetadata) tiff = {};
    if (tiff.size() > kMaxSegmentTiff) tiff = {};
    if (xmp.size() <= kMaxSegmentXmp) return ReconcileAsJpeg(xmp, tiff, importNativeMetadata, meta);
    if (!ParseXmp(xmp, meta)) {
        meta = SXMPMeta();
        return tiff.empty() ? Outcome::Nothing : ReconcileAsJpeg({}, tiff, true, meta);
    }
    if (!tiff.empty()) {
        SXMPMeta native;
        if (ReconcileAsJpeg({}, tiff, true, native) == Outcome::NativeOnly) AddUnder(native, meta);
    }
    return Outcome::Xmp;
}

}  // namespace velmora
