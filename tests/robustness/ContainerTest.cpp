// Metadata of the containers the toolkit has no handler for, read by the
// filter's own readers through the DLL: JPEG XL boxes (XMP and Exif, stored
// or Brotli-compressed) and PNG text chunks besides the standard iTXt
// (compressed iTXt, zTXt, ImageMagick's raw profile). Real files from cjxl,
// ExifTool and ImageMagick give the values ExifTool (or, for Brotli boxes,
// the brotli tool) reads from them, every way a host loads them; the order
// of several candidates; compression bombs, damaged streams and failing
// reads end in a log line and the packet search, never in a crash.
#include "HandlerFixture.h"

#include "Containers.h"

namespace velmora::fuzz::test {
namespace {

using namespace velmora::hostkit;
using velmora::test::TestStream;

std::wstring Container(const wchar_t* name) { return TestDataPath(std::wstring(L"containers\\") + name); }

const std::wstring kTitle = L"DublinCore/title LPWSTR=";
const std::wstring kCreator = L"DublinCore/creator LPWSTR=";

std::string XmpOf(const std::string& title) { return Packet("<dc:title>" + title + "</dc:title>"); }

// A PNG text chunk holding XMP, in each of the forms writers use.
std::string Itxt(const std::string& xmp) { return PngChunk("iTXt", std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + xmp); }
std::string CompressedItxt(const std::string& xmp) {
    return PngChunk("iTXt", std::string("XML:com.adobe.xmp\0\1\0\0\0", 22) + ZlibCompress(xmp));
}
std::string Ztxt(const std::string& xmp) {
    return PngChunk("zTXt", std::string("XML:com.adobe.xmp\0\0", 19) + ZlibCompress(xmp));
}
std::string RawText(const std::string& xmp) {
    return PngChunk("tEXt", std::string("Raw profile type xmp\0", 21) + RawProfile("xmp", xmp));
}

// A TIFF structure with one tag in IFD0, Artist, as an Exif box holds it.
std::string ExifBoxWithArtist(const std::string& artist) {
    std::string tiff("II*\0\x08\0\0\0\x01\0\x3B\x01\x02\0", 14);
    const std::string text = artist + '\0';
    tiff += std::string(1, static_cast<char>(text.size())) + std::string("\0\0\0\x1A\0\0\0\0\0\0\0", 11) + text;
    return Box("Exif", std::string(4, '\0') + tiff);
}

class Containers : public FormatHandlers {};

// What ExifTool reads from each file reaches the host, every way in; for
// the Brotli boxes, what the brotli tool decompresses from them.
TEST_F(Containers, RealFilesGiveTheirValues) {
    LoadDll(true, 2);
    struct Case {
        const wchar_t* file;
        Lines values;  // among the value chunks
        const wchar_t* line;
    };
    const Case cases[] = {
        // cjxl: a JPEG's XMP and Exif moved into brob boxes.
        {L"cjxl-brob.jxl",
         {kTitle + L"Harbour at dawn", kCreator + L"Ana Lima", L"Photoshop/DateCreated FILETIME=2023-04-05T06:07:08Z"},
         L"INFO: XMP read by the JPEG XL handler from a brob box, native metadata imported \n"},
        // cjxl from ExifTool's Canon.jpg: Exif alone, in a brob box.
        {L"cjxl-brob-exif.jxl", {L"Photoshop/DateCreated FILETIME=2003-12-04T06:46:52Z"},
         L"INFO: no XMP; native metadata imported by the JPEG XL handler \n"},
        // ExifTool's uncompressed xml and Exif boxes.
        {L"exiftool-boxes.jxl",
         {kTitle + L"Boxes written by ExifTool", kCreator + L"Ana Lima",
          L"Photoshop/DateCreated FILETIME=2022-02-03T04:05:06Z"},
         L"INFO: XMP read by the JPEG XL handler from an xml box, native metadata imported \n"},
        // ImageMagick's raw profile, a hex dump in a zTXt chunk.
        {L"imagemagick-raw-profile.png", {kTitle + L"Harbour at dawn", kCreator + L"Ben Okafor"},
         L"INFO: XMP read by the PNG handler from a raw profile in a zTXt chunk, native metadata imported \n"},
        {L"compressed-itxt.png", {kTitle + L"Compressed XMP", kCreator + L"Ben Okafor"},
         L"INFO: XMP read by the PNG handler from a compressed iTXt chunk, native metadata imported \n"},
        {L"ztxt-xmp.png", {kTitle + L"Compressed XMP", L"DublinCore/subject LPWSTR=harbour"},
         L"INFO: XMP read by the PNG handler from a zTXt chunk, native metadata imported \n"},
    };
    for (const Case& c : cases) {
        for (Way way : {Way::File, Way::StreamInPlace, Way::InitializeWithStream, Way::StreamThatCannotSeek}) {
            SCOPED_TRACE(velmora::test::Narrow(c.file) + ", way " + std::to_string(static_cast<int>(way)));
            log->Clear();
            const Lines values = ValuesOf(Container(c.file), way);
            for (const std::wstring& value : c.values) EXPECT_TRUE(Has(values, value)) << velmora::test::Narrow(value);
            EXPECT_EQ(Lines{Line(c.line)}, LinesWith(L"handler"));
            EXPECT_EQ(Lines{}, LinesWith(L"ERROR"));
        }
    }
}

// A bare codestream has no place for metadata: the packet search finds none.
TEST_F(Containers, ABareCodestreamHasNoMetadata) {
    LoadDll(true, 2);
    EXPECT_EQ(Lines{}, ValuesOf(Container(L"codestream.jxl")));
    EXPECT_EQ(Lines{Line(L"INFO: the JPEG XL handler found no metadata, searching for XMP packets \n")},
              LinesWith(L"handler"));
}

// Before these readers, the packet search alone read one of the six files
// (the uncompressed xml box, without its Exif); it still does so with the
// format handlers off.
TEST_F(Containers, ThePacketSearchAloneReadsOnlyUncompressedXmp) {
    Switch(L"FormatHandlers", 0);
    for (const wchar_t* file : {L"cjxl-brob.jxl", L"cjxl-brob-exif.jxl", L"imagemagick-raw-profile.png",
                                L"compressed-itxt.png", L"ztxt-xmp.png"}) {
        SCOPED_TRACE(velmora::test::Narrow(file));
        EXPECT_EQ(Lines{}, ValuesOf(Container(file)));
    }
    const Lines values = ValuesOf(Container(L"exiftool-boxes.jxl"));
    EXPECT_TRUE(Has(values, kTitle + L"Boxes written by ExifTool"));
    EXPECT_FALSE(Has(values, L"Photoshop/DateCreated FILETIME=2022-02-03T04:05:06Z"));
}

TEST_F(Containers, NativeMetadataCanBeSwitchedOff) {
    Switch(L"NativeMetadata", 0);
    EXPECT_EQ(Lines{}, ValuesOf(Container(L"cjxl-brob-exif.jxl")));
    log->Clear();
    const Lines values = ValuesOf(Container(L"cjxl-brob.jxl"));
    EXPECT_TRUE(Has(values, kTitle + L"Harbour at dawn"));
    EXPECT_FALSE(Has(values, L"Photoshop/DateCreated FILETIME=2023-04-05T06:07:08Z"));
    EXPECT_EQ(Lines{Line(L"INFO: XMP read by the JPEG XL handler from a brob box \n")}, LinesWith(L"handler"));
}

// Several candidates in one PNG: an uncompressed iTXt first, then the others
// in file order; one that cannot be used is passed over with a log line.
TEST_F(Containers, PngCandidatesInTheirOrder) {
    LoadDll(true, 2);
    const std::string entity = Packet("<dc:title>&e;</dc:title>", "<!DOCTYPE x:xmpmeta [<!ENTITY e 'expanded'>]>");
    std::string brokenZtxt = Ztxt(XmpOf("broken"));
    brokenZtxt[40] ^= 0x55;
    struct Case {
        const char* what;
        std::string chunks;
        std::wstring title;
        Lines errors;
    };
    const Case cases[] = {
        {"compressed iTXt, then the standard iTXt", CompressedItxt(XmpOf("compressed")) + Itxt(XmpOf("standard")),
         L"standard", {}},
        {"zTXt, then a raw profile", Ztxt(XmpOf("zTXt")) + RawText(XmpOf("raw")), L"zTXt", {}},
        {"a raw profile, then a compressed iTXt", RawText(XmpOf("raw")) + CompressedItxt(XmpOf("compressed")), L"raw",
         {}},
        {"a damaged zTXt, then a raw profile", brokenZtxt + RawText(XmpOf("raw")), L"raw",
         {Line(L"ERROR: the XMP in a zTXt chunk is damaged or cut short and is passed over \n")}},
        // The standard place's packet passes the guard in the handler and here.
        {"the standard iTXt declaring an entity, then a zTXt", Itxt(entity) + Ztxt(XmpOf("zTXt")), L"zTXt",
         {Line(L"ERROR: XMP packet declares XML entities and is refused \n")}},
        {"unwrapped XMP in a zTXt", Ztxt("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf="
                                         "'http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                                         "rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
                                         "dc:format='bare'><dc:title>unwrapped</dc:title></rdf:Description>"
                                         "</rdf:RDF></x:xmpmeta>"),
         L"unwrapped", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log->Clear();
        const Lines values = ValuesOfBytes(PngWith(c.chunks));
        EXPECT_TRUE(Has(values, kTitle + c.title));
        EXPECT_EQ(c.errors, LinesWith(L"ERROR"));
    }
}

// A raw profile is decoded strictly: anything but its header and exactly
// the hex digits it announces is passed over.
TEST_F(Containers, MalformedRawProfilesArePassedOver) {
    LoadDll(true, 2);
    const std::string xmp = XmpOf("raw");
    const std::string good = RawProfile("xmp", xmp);
    std::string odd = good;
    odd[odd.size() / 2] = 'g';
    const std::string texts[] = {
        good.substr(0, good.size() / 2),                            // cut short
        "\nxmp\n" + std::to_string(xmp.size() + 1) + good.substr(good.find('\n', 5)),  // one byte more announced
        odd,                                                        // not a hex digit
        "xmp\n" + good.substr(good.find('\n', 1) + 1),              // no first line end
        good + "00",                                                // more digits than announced
    };
    for (const std::string& text : texts) {
        log->Clear();
        EXPECT_EQ(Lines{}, ValuesOfBytes(PngWith(PngChunk("tEXt", std::string("Raw profile type xmp\0", 21) + text))));
        EXPECT_EQ(Lines{Line(L"ERROR: the XMP in a raw profile in a tEXt chunk is not a well-formed hex dump and is "
                             L"passed over \n")},
                  LinesWith(L"ERROR"));
    }
}

// A compressed block that would expand beyond 64 MB is stopped there and
// passed over; the document still loads, through the packet search.
TEST_F(Containers, CompressionBombsStopAtTheCap) {
    LoadDll(true, 2);
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring error;
    };
    const Case cases[] = {
        {"zTXt", PngWith(PngChunk("zTXt", std::string("XML:com.adobe.xmp\0\0", 19) + ZlibBomb((64u << 20) + 1))),
         L"ERROR: the XMP in a zTXt chunk expands beyond 64 MB and is passed over \n"},
        {"brob", JxlWith(Box("brob", "xml " + kBrotliBomb100MB)),
         L"ERROR: the JPEG XL XMP box expands beyond 64 MB and is passed over \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log->Clear();
        EXPECT_EQ(Lines{}, ValuesOfBytes(c.bytes));
        EXPECT_EQ(Lines{Line(c.error)}, LinesWith(L"expands beyond"));
        EXPECT_EQ(1u, LinesWith(L"found no metadata, searching for XMP packets").size());
    }
    // Exactly 64 MB is within the cap: inflated, then found to be no XMP.
    log->Clear();
    EXPECT_EQ(Lines{}, ValuesOfBytes(PngWith(PngChunk("zTXt", std::string("XML:com.adobe.xmp\0\0", 19) +
                                                               ZlibBomb(64u << 20)))));
    EXPECT_EQ(Lines{}, LinesWith(L"expands beyond"));
}

// Damaged JPEG XL containers: the boxes before the damage still count.
TEST_F(Containers, DamagedJpegXlBoxes) {
    LoadDll(true, 2);
    const std::string stored = Box("brob", "xml " + BrotliStored(XmpOf("stored")));
    EXPECT_TRUE(Has(ValuesOfBytes(JxlWith(stored)), kTitle + L"stored"));

    std::string cut = Box("brob", "xml " + BrotliStored(XmpOf("cut")).substr(0, 100));
    log->Clear();
    EXPECT_EQ(Lines{}, ValuesOfBytes(JxlWith(cut)));
    EXPECT_EQ(Lines{Line(L"ERROR: the JPEG XL XMP box is damaged or cut short and is passed over \n")},
              LinesWith(L"ERROR"));

    // A box claiming more than the document holds ends the walk; the boxes
    // before it still count.
    const std::string pastEnd = std::string("\x7F\0\0\0xml ", 8) + XmpOf("beyond");
    log->Clear();
    EXPECT_TRUE(Has(ValuesOfBytes(JxlWith(Box("xml ", XmpOf("first"))) + pastEnd), kTitle + L"first"));
    EXPECT_EQ(Lines{Line(L"ERROR: a JPEG XL box runs past the end of the document; the boxes after it are not read \n")},
              LinesWith(L"ERROR"));
    // A wrapped packet there is still the packet search's.
    log->Clear();
    EXPECT_TRUE(Has(ValuesOfBytes(JxlWith("") + pastEnd), kTitle + L"beyond"));
    EXPECT_EQ(1u, LinesWith(L"runs past the end").size());
    EXPECT_EQ(Lines{Line(L"INFO: the JPEG XL handler found no metadata, searching for XMP packets \n")},
              LinesWith(L"handler"));
}

// Exif imported by the JPEG handler's rules: the XMP's own values stay, the
// Exif adds what the XMP lacks, also where the XMP is larger than one JPEG
// segment could hold.
TEST_F(Containers, ExifJoinsTheXmpOfAJpegXlFile) {
    LoadDll(true, 2);
    const std::string exif = ExifBoxWithArtist("Exif Artist");
    const std::string large = Packet("<dc:title>large</dc:title><dc:description>" + std::string(70000, 'x') +
                                     "</dc:description>");
    for (const std::string& xmp : {XmpOf("small"), large}) {
        const Lines values = ValuesOfBytes(JxlWith(Box("xml ", xmp) + exif));
        EXPECT_TRUE(Has(values, kCreator + L"Exif Artist"));
        EXPECT_TRUE(Has(values, kTitle + (xmp.size() > 70000 ? L"large" : L"small")));
    }
}

// Reads of a stream failing, or ending early, at each read the readers make.
TEST_F(Containers, StreamReadsFailingOrEndingEarly) {
    LoadDll(true, 2);
    for (const wchar_t* file : {L"cjxl-brob.jxl", L"imagemagick-raw-profile.png", L"ztxt-xmp.png"}) {
        const std::wstring name = std::wstring(L"containers\\") + file;
        ExpectEveryReadToFailOrEnd(name, Data(name.c_str()), 4, 0);
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
