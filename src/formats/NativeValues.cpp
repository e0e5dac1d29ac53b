// The walks of JPEG segments, PSD image resources, PNG text chunks and GIF
// extension blocks for the native values the handlers leave out, and the
// merging of what they find.
#include "formats/NativeValues.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "formats/Decompress.h"
#include "formats/ExifImport.h"
#include "native/ExifTags.h"
#include "formats/FormatHandler.h"
#include "native/NativeText.h"
#include "formats/PngText.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

namespace {

// More segments before the image data than any writer makes end the walk.
constexpr size_t kMaxJpegSegments = 4096;
// The most read of a document's image resources, and of its comments.
constexpr size_t kMaxResources = 4u << 20;
constexpr size_t kMaxComments = 16;
constexpr DWORD kPngTextHead = 1024;

// A read's outcome for the walks: a failure goes back to the caller, a short
// read (the document ends) ends the walk.
bool Stop(HRESULT hr) { return hr != S_OK; }

std::string ReadBlock(ByteSource& source, uint64_t offset, uint64_t length, HRESULT& hr) {
    std::string block(static_cast<size_t>(std::min<uint64_t>(length, kMaxTagValue)), '\0');
    hr = block.empty() ? S_OK : source.ReadExactly(offset, block.data(), static_cast<DWORD>(block.size()));
    if (hr != S_OK) block.clear();
    return block;
}

// ---- JPEG

struct JpegParts {
    uint64_t exifOffset = 0;
    uint64_t exifLength = 0;
    std::string resources;
    std::vector<std::string> comments;
};

HRESULT WalkJpeg(ByteSource& source, JpegParts& parts) {
    const uint64_t size = source.Size();
    uint64_t at = 2;
    for (size_t segments = 0; segments < kMaxJpegSegments && size >= at && size - at >= 4; ++segments) {
        uint8_t head[4];
        HRESULT hr = source.ReadExactly(at, head, sizeof head);
        if (Stop(hr)) return FAILED(hr) ? hr : S_OK;
        if (head[0] != 0xFF) break;
        const uint8_t marker = head[1];
        if (marker == 0xFF) {  // a fill byte
            at += 1;
            continue;
        }
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) break;  // the end, or the image data
        const uint64_t length = ReadBig16(head + 2);
        if (length < 2 || length > size - at - 2) break;
        const uint64_t content = at + 4;
        const uint64_t contentLength = length - 2;
        if (marker == 0xE1 && parts.exifLength == 0 && contentLength >= 6 + 8) {
            char signature[6];
            hr = source.ReadExactly(content, signature, sizeof signature);
            if (Stop(hr)) return FAILED(hr) ? hr : S_OK;
            if (std::string_view(signature, 6) == std::string_view("Exif\0\0", 6)) {
                parts.exifOffset = content + 6;
                parts.exifLength = contentLength - 6;
            }
        } else if (marker == 0xED && contentLength > 14 && parts.resources.size() < kMaxResources) {
            std::string block = ReadBlock(source, content, contentLength, hr);
            if (FAILED(hr)) return hr;
            if (block.compare(0, 14, std::string_view("Photoshop 3.0\0", 14)) == 0) parts.resources.append(block, 14);
        } else if (marker == 0xFE && contentLength > 0 && parts.comments.size() < kMaxComments) {
            std::string comment = ReadBlock(source, content, contentLength, hr);
            if (FAILED(hr)) return hr;
            parts.comments.push_back(IptcText(comment, false));
        }
        at += 2 + length;
    }
    return S_OK;
}

// ---- PSD

HRESULT ReadPsdResources(ByteSource& source, std::string& resources) {
    uint8_t head[30];
    if (source.Size() < sizeof head) return S_OK;
    HRESULT hr = source.ReadExactly(0, head, sizeof head);
    if (Stop(hr)) return FAILED(hr) ? hr : S_OK;
    const uint64_t colorModeLength = ReadBig32(head + 26);
    if (colorModeLength > source.Size() - 30 || source.Size() - 30 - colorModeLength < 4) return S_OK;
    uint8_t lengthBytes[4];
    hr = source.ReadExactly(30 + colorModeLength, lengthBytes, 4);
    if (Stop(hr)) return FAILED(hr) ? hr : S_OK;
    const uint64_t offset = 34 + colorModeLength;
    const uint64_t length = std::min<uint64_t>({ReadBig32(lengthBytes), source.Size() - offset, kMaxResources});
    resources.resize(static_cast<size_t>(length));
    hr = length == 0 ? S_OK : source.ReadExactly(offset, resources.data(), static_cast<DWORD>(length));
    if (hr != S_OK) resources.clear();
    return FAILED(hr) ? hr : S_OK;
}

// ---- PNG

enum class PngField { None, Title, Author, Description, Copyright, CreationTime, Software, FullText, RawExif, RawIptc };

struct PngKeyword {
    std::string_view keyword;
    PngField field;
};

const PngKeyword kPngKeywords[] = {
    {"Title", PngField::Title},
    {"Author", PngField::Author},
    {"Description", PngField::Description},
    {"Copyright", PngField::Copyright},
    {"Creation Time", PngField::CreationTime},
    {"Software", PngField::Software},
    {"Source", PngField::FullText},
    {"Comment", PngField::FullText},
    {"Disclaimer", PngField::FullText},
    {"Warning", PngField::FullText},
    {"Raw profile type exif", PngField::RawExif},
    {"Raw profile type APP1", PngField::RawExif},
    {"Raw profile type iptc", PngField::RawIptc},
};

struct PngParts {
    std::vector<std::pair<PngField, std::string>> texts;
    std::string tiff;
    std::string resources;
};

PngField FieldOf(std::string_view keyword) {
    for (const PngKeyword& row : kPngKeywords) {
        if (row.keyword == keyword) return row.field;
    }
    return PngField::None;
}

// The TIFF structure of an Exif block with or without its "Exif\0\0" start.
std::string TiffOfExif(std::string block) {
    if (block.compare(0, 6, std::string_view("Exif\0\0", 6)) == 0) block.erase(0, 6);
    if (block.compare(0, 2, "II") != 0 && block.compare(0, 2, "MM") != 0) block.clear();
    return block;
}

// IPTC-IIM as Photoshop image resources, whether it came wrapped in them or bare.
std::string AsResources(std::string block) {
    if (block.compare(0, 4, "8BIM") == 0 || block.empty() || static_cast<uint8_t>(block[0]) != 0x1C) return block;
    std::string resources("8BIM\x04\x04\0\0", 8);
    for (int shift = 24; shift >= 0; shift -= 8) resources += static_cast<char>(block.size() >> shift & 0xFF);
    resources += block;
    if (block.size() & 1) resources += '\0';
    return resources;
}

// One text chunk's keyword and text, its text inflated and decoded to UTF-8.
HRESULT ReadPngTextChunk(ByteSource& source, std::string_view type, uint64_t offset, uint64_t length, PngParts& parts) {
    char head[kPngTextHead];
    const DWORD headLength = static_cast<DWORD>(std::min<uint64_t>(length, sizeof head));
    HRESULT hr = source.ReadExactly(offset, head, headLength);
    if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
    const std::string_view text(head, headLength);
    const size_t keywordEnd = text.find('\0');
    if (keywordEnd == std::string_view::npos) return S_OK;
    const PngField field = FieldOf(text.substr(0, keywordEnd));
    if (field == PngField::None) return S_OK;
    size_t start = keywordEnd + 1;
    Compression compression = Compression::None;
    bool utf8 = false;
    if (type == "zTXt") {
        if (text.size() <= start || text[start] != 0) return S_OK;
        start += 1;
        compression = Compression::Zlib;
    } else if (type == "iTXt") {
        if (text.size() < start + 2 || static_cast<uint8_t>(text[start]) > 1) return S_OK;
        if (text[start] == 1) {
            if (text[start + 1] != 0) return S_OK;
            compression = Compression::Zlib;
        }
        const size_t language = text.find('\0', start + 2);
        const size_t translated = language == std::string_view::npos ? language : text.find('\0', language + 1);
        if (translated == std::string_view::npos) return S_OK;
        start = translated + 1;
        utf8 = true;
    }
    if (start > length) return S_OK;
    std::string value;
    HRESULT readFailure = S_OK;
    if (!ReadMetadataBlock(source, offset + start, length - start, compression, L"a PNG text chunk", value,
                           readFailure)) {
        return FAILED(readFailure) ? readFailure : S_OK;
    }
    if (field == PngField::RawExif || field == PngField::RawIptc) {
        std::string bytes;
        if (!DecodeRawProfile(value, bytes)) {
            debugger.Log(1, L"ERROR: a PNG raw profile is not a well-formed hex dump and is passed over \n");
            return S_OK;
        }
        if (field == PngField::RawExif && parts.tiff.empty()) parts.tiff = TiffOfExif(std::move(bytes));
        if (field == PngField::RawIptc && parts.resources.empty()) parts.resources = AsResources(std::move(bytes));
        return S_OK;
    }
    // tEXt and zTXt are Latin-1, iTXt UTF-8.
    parts.texts.emplace_back(field, utf8 ? value : IptcText(value, false));
    return S_OK;
}

HRESULT WalkPng(ByteSource& source, PngParts& parts) {
    size_t texts = 0;
    return WalkPngChunks(source, [&](std::string_view type, uint64_t offset, uint64_t length) -> HRESULT {
        if (type == "eXIf") {
            if (!parts.tiff.empty() || length > kMaxTagValue) return S_OK;
            HRESULT hr = S_OK;
            std::string block = ReadBlock(source, offset, length, hr);
            if (FAILED(hr)) return hr;
            parts.tiff = TiffOfExif(std::move(block));
            return S_OK;
        }
        if (type != "tEXt" && type != "zTXt" && type != "iTXt") return S_OK;
        if (++texts > kMaxNativeTexts) return S_OK;
        return ReadPngTextChunk(source, type, offset, length, parts);
    });
}

// A PNG text into the model: its home where the model has none, the full
// text where its home holds another value.
void AddPngText(SXMPMeta& meta, PngField field, const std::string& text) {
    const auto fill = [&](const char* ns, const char* name, bool list) {
        if (list) {
            FillList(meta, ns, name, text);
        } else {
            FillLangAlt(meta, ns, name, text);
        }
        if (!HasValue(meta, ns, name, text)) AddFullText(meta, text);
    };
    switch (field) {
    case PngField::Title: fill(kXMP_NS_DC, "title", false); break;
    case PngField::Author: fill(kXMP_NS_DC, "creator", true); break;
    case PngField::Description: fill(kXMP_NS_DC, "description", false); break;
    case PngField::Copyright: fill(kXMP_NS_DC, "rights", false); break;
    case PngField::CreationTime:
        if (!FillDate(meta, kXMP_NS_XMP, "CreateDate", text)) AddFullText(meta, text);
        break;
    case PngField::Software: FillSimple(meta, kXMP_NS_XMP, "CreatorTool", text); break;
    default: AddFullText(meta, text); break;
    }
}

HRESULT AddPngValues(ByteSource& source, SXMPMeta& meta) {
    PngParts parts;
    const HRESULT hr = WalkPng(source, parts);
    if (FAILED(hr)) return hr;
    for (const auto& text : parts.texts) AddPngText(meta, text.first, text.second);
    if (parts.tiff.empty() && parts.resources.empty()) return S_OK;
    // The Exif and IPTC as a JPEG's, then whatever the model lacks from them.
    SXMPMeta native;
    const HandlerReading::Outcome outcome = ReconcileAsJpeg({}, parts.tiff, parts.resources, true, native);
    if (outcome == HandlerReading::Outcome::NativeOnly || outcome == HandlerReading::Outcome::Xmp) {
        SXMPUtils::ApplyTemplate(&meta, native, kXMPTemplate_AddNewProperties | kXMPTemplate_IncludeInternalProperties);
        // Keywords join what the model has.
        const XMP_Index count = native.CountArrayItems(kXMP_NS_DC, "subject");
        for (XMP_Index i = 1; i <= count; ++i) {
            std::string keyword;
            if (native.GetArrayItem(kXMP_NS_DC, "subject", i, &keyword, nullptr)) AddKeywords(meta, keyword);
        }
    }
    return S_OK;
}

// ---- GIF

HRESULT SkipSubBlocks(ByteSource& source, uint64_t& at, std::string* text) {
    const uint64_t size = source.Size();
    while (at < size) {
        uint8_t length = 0;
        HRESULT hr = source.ReadExactly(at, &length, 1);
        if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
        at += 1;
        if (length == 0) return S_OK;
        if (length > size - at) return S_FALSE;
        if (text && text->size() < kMaxNativeTextSize) {
            char block[255];
            hr = source.ReadExactly(at, block, length);
            if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
            text->append(block, length);
        }
        at += length;
    }
    return S_FALSE;
}

HRESULT WalkGif(ByteSource& source, std::vector<std::string>& comments) {
    const uint64_t size = source.Size();
    uint8_t screen[13];
    if (size < sizeof screen) return S_OK;
    HRESULT hr = source.ReadExactly(0, screen, sizeof screen);
    if (Stop(hr)) return FAILED(hr) ? hr : S_OK;
    uint64_t at = 13;
    if (screen[10] & 0x80) at += 3u << ((screen[10] & 7) + 1);
    while (at < size) {
        uint8_t introducer[2] = {};
        DWORD got = 0;
        hr = source.ReadAt(at, introducer, static_cast<DWORD>(std::min<uint64_t>(2, size - at)), got);
        if (FAILED(hr)) return hr;
        if (introducer[0] == 0x21 && got == 2) {
            at += 2;
            std::string comment;
            hr = SkipSubBlocks(source, at, introducer[1] == 0xFE && comments.size() < kMaxComments ? &comment : nullptr);
            if (introducer[1] == 0xFE && !comment.empty()) comments.push_back(IptcText(comment, false));
        } else if (introducer[0] == 0x2C && size - at >= 11) {
            uint8_t image[10];
            hr = source.ReadExactly(at, image, sizeof image);
            if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
            at += 10;
            if (image[9] & 0x80) at += 3u << ((image[9] & 7) + 1);
            at += 1;  // the LZW code size
            hr = SkipSubBlocks(source, at, nullptr);
        } else {
            break;  // the trailer, or no block at all
        }
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    }
    return S_OK;
}

// ---- the document's own XMP, for the values a blank native one replaced

HRESULT DropBlanks(ByteSource& source, XMP_FileFormat format, std::string_view iptc, SXMPMeta& meta) {
    if (!HasBlankValues(meta)) return S_OK;
    SXMPMeta own;
    const HandlerReading ownReading = ReadWithHandler(source, format, false, own);
    if (FAILED(ownReading.readFailure)) return ownReading.readFailure;
    DropBlankValues(meta, ownReading.outcome == HandlerReading::Outcome::Xmp ? &own : nullptr, iptc);
    return S_OK;
}

HRESULT AddValues(ByteSource& source, XMP_FileFormat format, SXMPMeta& meta) {
    HRESULT hr = S_OK;
    TiffTexts texts;
    std::string resources;
    std::vector<std::string> comments;
    switch (format) {
    case kXMP_JPEGFile: {
        JpegParts parts;
        hr = WalkJpeg(source, parts);
        if (FAILED(hr)) return hr;
        if (parts.exifLength > 0) {
            hr = ReadTiffTexts(source, parts.exifOffset, parts.exifLength, texts);
            if (FAILED(hr)) return hr;
        }
        resources = std::move(parts.resources);
        comments = std::move(parts.comments);
        break;
    }
    case kXMP_TIFFFile:
        hr = ReadTiffTexts(source, 0, source.Size(), texts);
        if (FAILED(hr)) return hr;
        resources = texts.iptc.empty() ? std::move(texts.resources) : AsResources(std::move(texts.iptc));
        break;
    case kXMP_PhotoshopFile:
        hr = ReadPsdResources(source, resources);
        if (FAILED(hr)) return hr;
        break;
    case kXMP_PNGFile: return AddPngValues(source, meta);
    case kXMP_GIFFile:
        hr = WalkGif(source, comments);
        if (FAILED(hr)) return hr;
        break;
    case kXMP_SVGFile: {
        // The title and description are the document's XMP's where it has them.
        SXMPMeta own;
        const HandlerReading ownReading = ReadWithHandler(source, format, false, own);
        if (FAILED(ownReading.readFailure)) return ownReading.readFailure;
        if (ownReading.outcome == HandlerReading::Outcome::Xmp) {
            RestoreFrom(meta, own, kXMP_NS_DC, "title");
            RestoreFrom(meta, own, kXMP_NS_DC, "description");
        }
        DropBlankValues(meta, ownReading.outcome == HandlerReading::Outcome::Xmp ? &own : nullptr, {});
        return S_OK;
    }
    default: return S_OK;
    }
    const std::string_view iptc = IptcOfResources(resources);
    CorrectIptcText(meta, iptc);
    hr = DropBlanks(source, format, iptc, meta);
    if (FAILED(hr)) return hr;
    AddWindowsTags(meta, texts);
    for (const std::string& comment : comments) AddFullText(meta, comment);
    return S_OK;
}

}  // namespace

void AddNativeValues(ByteSource& source, HandlerReading& reading, SXMPMeta& meta) {
    HRESULT hr = S_OK;
    bool added = false;
    try {
        hr = AddValues(source, reading.format, meta);
        added = SUCCEEDED(hr) && reading.outcome == HandlerReading::Outcome::Nothing && HasProperties(meta);
    } catch (const XMP_Error& error) {
        // A value the toolkit refused leaves the others as they were.
        ThrowIfOutOfMemory(error);
    }
    if (FAILED(hr)) {
        reading.readFailure = hr;
        reading.outcome = HandlerReading::Outcome::Failed;
        return;
    }
    if (added) reading.outcome = HandlerReading::Outcome::NativeOnly;
}

}  // namespace velmora
