// A document's format comes from its first bytes alone: the test files as
// the programs that wrote them made them, and the same bytes under a name
// that says otherwise.
#include "formats/DocumentFormat.h"

#include "TestSupport.h"

#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

XMP_FileFormat FormatOf(const std::string& bytes) {
    return FormatOfDocument(reinterpret_cast<const uint8_t*>(bytes.data()), std::min(bytes.size(), kFormatHeadSize));
}

TEST(DocumentFormat, ToldByTheFirstBytesOnly) {
    struct Case {
        const wchar_t* file;
        XMP_FileFormat format;
    };
    const Case cases[] = {
        {L"standard.jpg", kXMP_JPEGFile},     {L"no-xmp.jpg", kXMP_JPEGFile},  {L"standard.tif", kXMP_TIFFFile},
        {L"standard.dng", kXMP_TIFFFile},     {L"standard.nef", kXMP_TIFFFile}, {L"standard.cr2", kXMP_TIFFFile},
        {L"standard.psd", kXMP_PhotoshopFile}, {L"standard.png", kXMP_PNGFile}, {L"standard.gif", kXMP_GIFFile},
        {L"standard.webp", kXMP_WEBPFile},    {L"standard.eps", kXMP_UnknownFile}, {L"logo.svg", kXMP_SVGFile},
        {L"standard.heic", kXMP_HEIFFile},   {L"standard.avif", kXMP_HEIFFile}, {L"standard.heif", kXMP_HEIFFile},
        {L"heif\\two-images.avif", kXMP_HEIFFile}, {L"standard.jxl", kJpegXlFile},
        {L"standard.raf", kFujifilmRawFile},  {L"standard.xmp", kXMP_UnknownFile}, {L"empty.bin", kXMP_UnknownFile},
        {L"two-packets.bin", kXMP_UnknownFile}, {L"containers\\cjxl-brob.jxl", kJpegXlFile},
        {L"containers\\codestream.jxl", kJpegXlCodestream},
        // Raw formats by their magic, whatever their names say.
        {L"raw\\Panasonic.rw2", kPanasonicRawFile}, {L"raw\\olympus-exif.orf", kOlympusRawFile},
        {L"raw\\FujiFilm.raf", kFujifilmRawFile}, {L"raw\\CanonRaw.cr3", kCanonCr3File},
        {L"raw\\Minolta.mrw", kMinoltaRawFile}, {L"raw\\PhaseOne.iiq", kXMP_TIFFFile},
        {L"raw\\CanonRaw.crw", kCanonCrwFile}, {L"raw\\Sigma.x3f", kSigmaRawFile},
    };
    for (const Case& c : cases) EXPECT_EQ(c.format, FormatOf(ReadBytes(TestDataPath(c.file)))) << Narrow(c.file);

    const struct {
        const char* what;
        std::string bytes;
        XMP_FileFormat format;
    } made[] = {
        {"big-endian TIFF", std::string("MM\0*\0\0\0\x08", 8), kXMP_TIFFFile},
        {"Olympus ORF, big-endian", std::string("MMOR\0\0\0\x08", 8), kOlympusRawFile},
        {"Olympus ORF of the later cameras", std::string("IIRS\x08\0\0\0", 8), kOlympusRawFile},
        {"a big-endian CRW", std::string("MM\0\0\0\x1AHEAPCCDR", 14), kCanonCrwFile},
        {"PostScript, which the packet search reads", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 1 1\n",
         kXMP_UnknownFile},
        {"SVG with a BOM and no declaration", "\xEF\xBB\xBF\n<svg xmlns='http://www.w3.org/2000/svg'/>", kXMP_SVGFile},
        {"XML that is not SVG", "<?xml version='1.0'?><svgx/>", kXMP_UnknownFile},
        {"a RIFF that is not WebP", "RIFF\x10\0\0\0WAVEfmt ", kXMP_UnknownFile},
        {"JPEG magic cut short", "\xFF\xD8", kXMP_UnknownFile},
        {"HEIF named only among the compatible brands", std::string("\0\0\0\x18" "ftypmp42\0\0\0\0isommif1", 24),
         kXMP_HEIFFile},
        {"an MP4 movie", std::string("\0\0\0\x18" "ftypmp42\0\0\0\0isomavc1", 24), kXMP_UnknownFile},
        {"Canon CR3", std::string("\0\0\0\x18" "ftypcrx \0\0\0\x01" "crx isom", 24), kCanonCr3File},
        {"a brand past the end of the file type box", std::string("\0\0\0\x10" "ftypmp42\0\0\0\0heic", 20),
         kXMP_UnknownFile},
        {"a HEIF brand as the minor version", std::string("\0\0\0\x10" "ftypmp42heic", 16), kXMP_UnknownFile},
        {"a JPEG XL signature box cut short", std::string("\0\0\0\x0CJXL \r\n\x87", 11), kXMP_UnknownFile},
        {"an ISO base media file that is not JPEG XL", std::string("\0\0\0\x0CJXL \r\n\x87\x0B", 12),
         kXMP_UnknownFile},
    };
    for (const auto& m : made) EXPECT_EQ(m.format, FormatOf(m.bytes)) << m.what;
}

}  // namespace
