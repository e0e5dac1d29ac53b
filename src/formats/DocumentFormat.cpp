#include "formats/DocumentFormat.h"

#include "common/ByteOrder.h"
#include <algorithm>
#include <cstring>
#include <string_view>

namespace velmora {

namespace {

struct Magic {
    XMP_FileFormat format;
    size_t offset;
    std::string_view bytes;
};

// TIFF covers DNG and the raw formats built on it (NEF, NRW, CR2, ARW,
// PEF, SRW, IIQ and others); the raw formats with a magic of their own are
// read by the filter's raw readers. Illustrator's PDF has no handler here.
// Nor has PostScript: its handler takes the file's packet only where the
// file announces it (%ADO_ContainsXMP), which few writers do, and gives the
// comments' title and dates instead; the packet search reads what EPS files
// hold.
constexpr Magic kMagics[] = {
    {kXMP_JPEGFile, 0, std::string_view("\xFF\xD8\xFF", 3)},
    {kXMP_TIFFFile, 0, std::string_view("II*\0", 4)},
    {kXMP_TIFFFile, 0, std::string_view("MM\0*", 4)},
    {kXMP_PhotoshopFile, 0, std::string_view("8BPS", 4)},
    {kXMP_PNGFile, 0, std::string_view("\x89PNG\r\n\x1A\n", 8)},
    {kXMP_GIFFile, 0, std::string_view("GIF87a", 6)},
    {kXMP_GIFFile, 0, std::string_view("GIF89a", 6)},
    {kJpegXlFile, 0, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12)},
    {kJpegXlCodestream, 0, std::string_view("\xFF\x0A", 2)},
    {kPanasonicRawFile, 0, std::string_view("IIU\0", 4)},
    {kOlympusRawFile, 0, std::string_view("IIRO", 4)},
    {kOlympusRawFile, 0, std::string_view("IIRS", 4)},
    {kOlympusRawFile, 0, std::string_view("MMOR", 4)},
    {kFujifilmRawFile, 0, std::string_view("FUJIFILMCCD-RAW ", 16)},
    {kMinoltaRawFile, 0, std::string_view("\0MRM", 4)},
    {kCanonCrwFile, 6, std::string_view("HEAPCCDR", 8)},
    {kSigmaRawFile, 0, std::string_view("FOVb", 4)},
    {kCanonCr3File, 4, std::string_view("ftypcrx ", 8)},
};

bool Has(const uint8_t* head, size_t length, size_t offset, std::string_view bytes) {
    return length >= offset + bytes.size() && std::memcmp(head + offset, bytes.data(), bytes.size()) == 0;
}

// An ISO base media file whose file-type box names a brand of HEIF still
// images (HEIC, AVIF and the general ones) as its major brand or as one it
// is compatible with. Movies, Canon's CR3 and the other formats of the same
// box structure name none of them.
bool IsHeif(const uint8_t* head, size_t length) {
    if (!Has(head, length, 4, "ftyp") || length < 16) return false;
    const uint32_t boxSize = ReadBig32(head);
    if (boxSize < 16) return false;
    static constexpr std::string_view kBrands[] = {"mif1", "mif2", "msf1", "heic", "heix", "heim", "heis",
                                                   "hevc", "hevx", "hevm", "hevs", "avif", "avis", "avio"};
    const size_t end = std::min<size_t>(boxSize, length);
    for (size_t at = 8; at + 4 <= end; at += 4) {
        if (at == 12) continue;  // the minor version, not a brand
        const std::string_view brand(reinterpret_cast<const char*>(head + at), 4);
        if (std::find(std::begin(kBrands), std::end(kBrands), brand) != std::end(kBrands)) return true;
    }
    return false;
}

// An XML document whose root is svg: "<svg" before anything but the XML
// declaration, comments, instructions and the document type (all of which
// may hold no "<svg" of their own in a real file's head).
bool IsSvg(const uint8_t* head, size_t length) {
    const std::string_view text(reinterpret_cast<const char*>(head), length);
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    at = text.find_first_not_of(" \t\r\n", at);
    if (at == std::string_view::npos || text[at] != '<') return false;
    const size_t svg = text.find("<svg", at);
    return svg != std::string_view::npos && svg + 4 < text.size() &&
           std::strchr(" \t\r\n>:", text[svg + 4]) != nullptr;
}

}  // namespace

XMP_FileFormat FormatOfDocument(const uint8_t* head, size_t length) {
    for (const Magic& magic : kMagics) {
        if (Has(head, length, magic.offset, magic.bytes)) return magic.format;
    }
    if (Has(head, length, 0, "RIFF") && Has(head, length, 8, "WEBP")) return kXMP_WEBPFile;
    if (IsHeif(head, length)) return kXMP_HEIFFile;
    if (IsSvg(head, length)) return kXMP_SVGFile;
    return kXMP_UnknownFile;
}

bool IsRawFormat(XMP_FileFormat format) {
    switch (format) {
    case kPanasonicRawFile:
    case kOlympusRawFile:
    case kFujifilmRawFile:
    case kCanonCr3File:
    case kMinoltaRawFile:
    case kCanonCrwFile:
    case kSigmaRawFile: return true;
    default: return false;
    }
}

const wchar_t* FormatName(XMP_FileFormat format) {
    switch (format) {
    case kXMP_JPEGFile: return L"JPEG";
    case kXMP_TIFFFile: return L"TIFF";
    case kXMP_PhotoshopFile: return L"Photoshop";
    case kXMP_PNGFile: return L"PNG";
    case kXMP_GIFFile: return L"GIF";
    case kXMP_WEBPFile: return L"WebP";
    case kXMP_SVGFile: return L"SVG";
    case kXMP_HEIFFile: return L"HEIF";
    case kJpegXlFile:
    case kJpegXlCodestream: return L"JPEG XL";
    case kPanasonicRawFile: return L"Panasonic RW2";
    case kOlympusRawFile: return L"Olympus ORF";
    case kFujifilmRawFile: return L"Fujifilm RAF";
    case kCanonCr3File: return L"Canon CR3";
    case kMinoltaRawFile: return L"Minolta MRW";
    case kCanonCrwFile: return L"Canon CRW";
    case kSigmaRawFile: return L"Sigma X3F";
    default: return L"unknown";
    }
}

}  // namespace velmora
