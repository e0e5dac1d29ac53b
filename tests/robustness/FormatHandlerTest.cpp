// Metadata read where each format keeps it, through the DLL as a search host
// drives it: camera pictures with Exif and IPTC-IIM and no XMP at all, a
// picture whose last packet belongs to a second image appended to it, and
// XMP continued in JPEG's extended segments. Every way in (a file, a stream
// read in place, IInitializeWithStream, a stream that cannot seek) gives the
// same chunks; the two switches in the product key give back the packet
// search alone, or XMP alone; and what no handler takes goes to the packet
// search, with one log line saying which way the metadata was found.
#include "HandlerFixture.h"

namespace velmora::fuzz::test {
namespace {

// What ExifTool reads from each file (exiftool -G1 -s) reaches the host.
TEST_F(FormatHandlers, NativeMetadataOfCameraPicturesReachesTheHost) {
    LoadDll(true, 2);
    struct Case {
        const wchar_t* file;
        Lines values;  // among the value chunks
    };
    const Case cases[] = {
        // Exif only: DateTimeOriginal.
        {L"Canon.jpg", {L"Photoshop/DateCreated FILETIME=2003-12-04T06:46:52Z"}},
        {L"Nikon.jpg", {L"Photoshop/DateCreated FILETIME=2001-08-01T12:57:23Z"}},
        // IPTC-IIM only: By-line, Caption-Abstract, Keywords.
        {L"IPTC.jpg",
         {L"DublinCore/creator LPWSTR=Phil Harvey", L"DublinCore/description LPWSTR=A witty caption",
          L"DublinCore/subject LPWSTR=ExifTool", L"DublinCore/subject LPWSTR=Test",
          L"DublinCore/subject LPWSTR=IPTC"}},
        // A TIFF with IPTC, and a raw file (TIFF-based) with Exif and IPTC.
        {L"ExifTool.tif",
         {L"DublinCore/creator LPWSTR=I'm the author", L"DublinCore/description LPWSTR=The picture caption",
          L"DublinCore/subject LPWSTR=exiftool"}},
        {L"Nikon.nef",
         {L"DublinCore/description LPWSTR=A caption", L"Photoshop/DateCreated FILETIME=2004-06-09T16:02:35Z"}},
        // Photoshop: the document's XMP with its resources.
        {L"Photoshop.psd", {L"DublinCore/creator LPWSTR=Phil Harvey", L"DublinCore/rights LPWSTR=Free for all"}},
    };
    for (const Case& c : cases) {
        for (Way way : {Way::File, Way::StreamInPlace, Way::InitializeWithStream, Way::StreamThatCannotSeek}) {
            SCOPED_TRACE(velmora::test::Narrow(c.file) + ", way " + std::to_string(static_cast<int>(way)));
            const Lines values = ValuesOf(Camera(c.file), way);
            for (const std::wstring& value : c.values) EXPECT_TRUE(Has(values, value)) << velmora::test::Narrow(value);
        }
    }
}

// The picture's own packet, not the one of a second image appended to it,
// whose packet is the file's last.
TEST_F(FormatHandlers, TheDocumentsOwnPacketNotTheLastOne) {
    LoadDll(true, 2);
    const Lines values = ValuesOf(Camera(L"appended-image.jpg"));
    EXPECT_TRUE(Has(values, L"DublinCore/creator LPWSTR=Photographer"));
    EXPECT_FALSE(Has(values, L"DublinCore/creator LPWSTR=Phil Harvey"));
    EXPECT_EQ(Lines{Line(L"INFO: XMP read by the JPEG handler, native metadata imported \n")},
              LinesWith(L"handler"));

    // The packet search alone takes the last packet, as it always has.
    Switch(L"FormatHandlers", 0);
    const Lines searched = ValuesOf(Camera(L"appended-image.jpg"));
    EXPECT_TRUE(Has(searched, L"DublinCore/creator LPWSTR=Phil Harvey"));
    EXPECT_EQ(Lines{Line(L"INFO: format handlers are off, searching for XMP packets \n")}, LinesWith(L"searching"));
    // And the camera's Exif is not read.
    EXPECT_EQ(Lines{}, ValuesOf(Camera(L"Canon.jpg")));
}

TEST_F(FormatHandlers, NativeMetadataCanBeSwitchedOff) {
    Switch(L"NativeMetadata", 0);
    EXPECT_EQ(Lines{}, ValuesOf(Camera(L"Canon.jpg")));
    EXPECT_EQ(Lines{}, ValuesOf(Camera(L"IPTC.jpg")));
    // XMP is still read where the format keeps it, and only XMP: the
    // picture's IPTC By-line no longer joins its XMP creator.
    log->Clear();
    const Lines values = ValuesOf(Camera(L"appended-image.jpg"));
    EXPECT_TRUE(Has(values, L"DublinCore/creator LPWSTR=Photographer"));
    EXPECT_EQ(Lines{Line(L"INFO: XMP read by the JPEG handler \n")}, LinesWith(L"handler"));
}

// A packet too large for one JPEG segment goes on in extended segments with
// no packet wrapper: the handler joins them.
TEST_F(FormatHandlers, ExtendedXmpIsJoined) {
    LoadDll(true, 2);
    const Lines values = ValuesOf(TestDataPath(L"camera\\extended-xmp.jpg"));
    const std::wstring description = L"DublinCore/description LPWSTR=" + std::wstring(70000, L'x');
    EXPECT_TRUE(Has(values, L"DublinCore/title LPWSTR=Main segment"));
    EXPECT_TRUE(Has(values, description));
}

// An extended-XMP segment that claims 4 GB is passed over: the picture loads
// with its main packet, and nothing is set aside for the length it claims.
TEST_F(FormatHandlers, AForgedExtendedXmpLengthIsPassedOver) {
    LoadDll(true, 2);
    const std::string guid(32, 'A');
    std::string jpeg = JpegWithXmp(Packet("<dc:source>main</dc:source><xmpNote:HasExtendedXMP xmlns:xmpNote="
                                          "'http://ns.adobe.com/xmp/note/'>" + guid + "</xmpNote:HasExtendedXMP>"));
    jpeg.resize(jpeg.size() - 2);  // before the end marker
    const std::string header = std::string("http://ns.adobe.com/xmp/extension/") + '\0' + guid +
                               std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8) + "<x:xmpmeta";
    jpeg += "\xFF\xE1";
    jpeg += static_cast<char>((header.size() + 2) >> 8);
    jpeg += static_cast<char>((header.size() + 2) & 0xFF);
    jpeg += header + "\xFF\xD9";
    EXPECT_EQ(Lines{L"DublinCore/source LPWSTR=main"}, ValuesOfBytes(jpeg));
}

// Whatever no handler reads is searched for packets, as before.
TEST_F(FormatHandlers, WhatNoHandlerReadsGoesToThePacketSearch) {
    LoadDll(true, 2);
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring line;
    };
    const std::string packet = Packet("<dc:source>found</dc:source>");
    const Case cases[] = {
        {"no handler for the format", std::string("\0\0\0\x1C" "ftypqt  ", 12) + packet, L"INFO: no format handler for this document, searching for XMP packets \n"},
        {"a CR3 file type box and no boxes after it", std::string("\0\0\0\x1C" "ftypcrx ", 12) + packet,
         L"INFO: the Canon CR3 handler found no metadata, searching for XMP packets \n"},
        {"a HEIF file type box and no container after it", std::string("\0\0\0\x10" "ftypheic\0\0\0\0", 16) + packet,
         L"INFO: the HEIF handler failed on the document, searching for XMP packets \n"},
        {"a broken JPEG", "\xFF\xD8\xFF\xE1\xFF" + packet, L""},
        {"a JPEG whose packet is outside its segments", "\xFF\xD8\xFF\xD9" + packet,
         L"INFO: the JPEG handler found no metadata, searching for XMP packets \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log->Clear();
        EXPECT_EQ(Lines{L"DublinCore/source LPWSTR=found"}, ValuesOfBytes(c.bytes));
        const Lines lines = LinesWith(L"searching for XMP packets");
        ASSERT_EQ(1u, lines.size());
        if (!c.line.empty()) {
            EXPECT_EQ(Line(c.line), lines.front());
        }
    }
}

// The handlers' own parse refuses what the packet search's guard refuses;
// the document then goes to the packet search, whose guard says why.
TEST_F(FormatHandlers, AHandlersPacketPassesTheSameGuard) {
    LoadDll(true, 2);
    std::string deep = "<dc:source>deep</dc:source>";
    for (int i = 0; i < 300; ++i) deep = "<dc:x rdf:parseType='Resource'>" + deep + "</dc:x>";
    struct Case {
        const char* what;
        std::string packet;
        const wchar_t* line;
    };
    const Case cases[] = {
        {"300 levels", Packet(deep), L"ERROR: XMP packet is nested too deeply to parse \n"},
        {"an entity", Packet("<dc:source>&e;</dc:source>", "<!DOCTYPE x:xmpmeta [<!ENTITY e 'expanded'>]>"),
         L"ERROR: XMP packet declares XML entities and is refused \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log->Clear();
        EXPECT_EQ(Lines{}, ValuesOfBytes(JpegWithXmp(c.packet)));
        // The handler passes over a packet that does not parse, and has nothing else.
        EXPECT_EQ(Lines{Line(L"INFO: the JPEG handler found no metadata, searching for XMP packets \n")},
                  LinesWith(L"handler"));
        EXPECT_EQ(Lines{Line(c.line)}, LinesWith(L"ERROR"));
    }
    // Within the limits the same packet is the handler's.
    log->Clear();
    EXPECT_EQ(Lines{L"DublinCore/source LPWSTR=plain"}, ValuesOfBytes(JpegWithXmp(Packet("<dc:source>plain</dc:source>"))));
    EXPECT_EQ(Lines{Line(L"INFO: XMP read by the JPEG handler, native metadata imported \n")}, LinesWith(L"handler"));
}

// HEIF and AVIF: the primary image's XMP and Exif items, never those of a
// second image stored after it (as a gain map is), whichever way the
// document comes in. ExifTool (exiftool -G1 -s) shows both images' values.
TEST_F(FormatHandlers, HeifGivesThePrimaryImagesOwnMetadata) {
    LoadDll(true, 2);
    struct Case {
        const wchar_t* file;
        Lines values;  // among the value chunks
        Lines never;
    };
    const Lines primary = {L"DublinCore/title LPWSTR=Primary title", L"DublinCore/creator LPWSTR=Primary Author",
                           L"DublinCore/subject LPWSTR=primary", L"Photoshop/DateCreated FILETIME=2023-06-07T08:09:10Z"};
    const Lines second = {L"DublinCore/title LPWSTR=Second image title", L"DublinCore/creator LPWSTR=Second Author",
                          L"Photoshop/DateCreated FILETIME=1999-01-02T03:04:05Z"};
    const Case cases[] = {
        {L"two-images.heic", primary, second},
        {L"two-images.avif", primary, second},
        // Exif only: DateTimeOriginal, Artist, Copyright.
        {L"exif-only.heic",
         {L"Photoshop/DateCreated FILETIME=2021-03-04T05:06:07Z", L"DublinCore/creator LPWSTR=Exif Artist",
          L"DublinCore/rights LPWSTR=Exif Copyright"},
         {}},
        // XMP without the packet wrapper.
        {L"unwrapped.heic", {L"DublinCore/title LPWSTR=Unwrapped title", L"DublinCore/creator LPWSTR=Unwrapped Author"}, {}},
    };
    for (const Case& c : cases) {
        for (Way way : {Way::File, Way::StreamInPlace, Way::InitializeWithStream, Way::StreamThatCannotSeek}) {
            SCOPED_TRACE(velmora::test::Narrow(c.file) + ", way " + std::to_string(static_cast<int>(way)));
            log->Clear();
            const Lines values = ValuesOf(Heif(c.file), way);
            for (const std::wstring& value : c.values) EXPECT_TRUE(Has(values, value)) << velmora::test::Narrow(value);
            for (const std::wstring& value : c.never) EXPECT_FALSE(Has(values, value)) << velmora::test::Narrow(value);
            const Lines handler = LinesWith(L"HEIF handler");
            ASSERT_EQ(1u, handler.size());
            EXPECT_EQ(Line(c.file == std::wstring(L"exif-only.heic")
                               ? L"INFO: no XMP; native metadata imported by the HEIF handler \n"
                               : L"INFO: XMP read by the HEIF handler, native metadata imported \n"),
                      handler.front());
        }
    }
}

// A HEIF file whose metadata all belongs to a second image gives nothing: the
// packet search, which takes the last packet, would give the second image's.
// With the handlers off it does, as it always did.
TEST_F(FormatHandlers, HeifMetadataOfOtherImagesOnlyGivesNothing) {
    LoadDll(true, 2);
    EXPECT_EQ(Lines{}, ValuesOf(Heif(L"second-only.heic")));
    EXPECT_EQ(Lines{Line(L"INFO: the HEIF container holds no metadata of its own image, only other items' \n")},
              LinesWith(L"HEIF"));

    Switch(L"FormatHandlers", 0);
    EXPECT_TRUE(Has(ValuesOf(Heif(L"second-only.heic")), L"DublinCore/title LPWSTR=Second image title"));
    // And so did a file with both: the last packet, the second image's.
    const Lines searched = ValuesOf(Heif(L"two-images.heic"));
    EXPECT_TRUE(Has(searched, L"DublinCore/title LPWSTR=Second image title"));
    EXPECT_FALSE(Has(searched, L"DublinCore/title LPWSTR=Primary title"));
    EXPECT_EQ(Lines{}, ValuesOf(Heif(L"exif-only.heic")));
}

TEST_F(FormatHandlers, HeifExifCanBeSwitchedOff) {
    Switch(L"NativeMetadata", 0);
    EXPECT_EQ(Lines{}, ValuesOf(Heif(L"exif-only.heic")));
    log->Clear();
    const Lines values = ValuesOf(Heif(L"two-images.heic"));
    EXPECT_TRUE(Has(values, L"DublinCore/title LPWSTR=Primary title"));
    EXPECT_FALSE(Has(values, L"Photoshop/DateCreated FILETIME=2023-06-07T08:09:10Z"));
    EXPECT_EQ(Lines{Line(L"INFO: XMP read by the HEIF handler \n")}, LinesWith(L"handler"));
}

// A container cut short or damaged goes to the packet search; nothing
// crashes, and no cut gives the second image's values while the container
// still reads.
TEST_F(FormatHandlers, CutOrDamagedHeifFallsBackCleanly) {
    LoadDll(true, 2);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(Heif(L"two-images.heic"), bytes));
    for (size_t cut = 16; cut < bytes.size(); cut += 61) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        log->Clear();
        const Lines values = ValuesOfBytes(bytes.substr(0, cut));
        const Lines read = LinesWith(L"XMP read by the HEIF handler");
        if (!read.empty()) {
            EXPECT_TRUE(Has(values, L"DublinCore/title LPWSTR=Primary title"));
        } else {
            EXPECT_EQ(1u, LinesWith(L"searching for XMP packets").size());
        }
        EXPECT_FALSE(!read.empty() && Has(values, L"DublinCore/title LPWSTR=Second image title"));
    }
    // The meta box renamed: no container to read, and the packet search
    // takes the file's last packet.
    std::string damaged = bytes;
    const size_t meta = damaged.find("meta");
    ASSERT_NE(std::string::npos, meta);
    damaged.replace(meta, 4, "mexa");
    log->Clear();
    EXPECT_TRUE(Has(ValuesOfBytes(damaged), L"DublinCore/title LPWSTR=Second image title"));
    EXPECT_EQ(Lines{Line(L"INFO: the HEIF handler failed on the document, searching for XMP packets \n")},
              LinesWith(L"searching"));
}

// The filter reads no pixels, so the declared size of a panorama or a scan
// larger than any decoder takes does not hide its metadata.
TEST_F(FormatHandlers, HeifOfAnyImageSizeGivesItsMetadata) {
    LoadDll(true, 2);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(Heif(L"two-images.heic"), bytes));
    // Every image's spatial extents (ispe: version and flags, width, height)
    // set to 100 000 x 70 000 pixels.
    size_t boxes = 0;
    for (size_t at = bytes.find("ispe"); at != std::string::npos; at = bytes.find("ispe", at + 4), ++boxes) {
        ASSERT_LE(at + 16, bytes.size());
        bytes.replace(at + 8, 8, std::string("\0\x01\x86\xA0\0\x01\x11\x70", 8));
    }
    ASSERT_GT(boxes, 0u);
    const Lines values = ValuesOfBytes(bytes);
    EXPECT_TRUE(Has(values, L"DublinCore/title LPWSTR=Primary title"));
    EXPECT_FALSE(Has(values, L"DublinCore/title LPWSTR=Second image title"));
    EXPECT_EQ(1u, LinesWith(L"XMP read by the HEIF handler").size());
}

}  // namespace
}  // namespace velmora::fuzz::test
