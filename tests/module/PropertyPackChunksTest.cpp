// The Windows Search property pack at work: its declarations written into a
// private registry from the template of this program's registry view, with
// the definition files of the source tree, and documents filtered through
// the built DLL. Windows Search indexes a value as a property when its key is
// a registered property with a numeric identifier: these are the keys.
#include "LoadedDll.h"
#include "PropertyPack.h"
#include "RegistrySandbox.h"

#include <algorithm>

using namespace velmora;
using namespace velmora::test;

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kCopyright = L"{64440492-4C8B-11D1-8B70-080036B11A03}/11";
const std::wstring kDateTaken = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/36867";
const std::wstring kCameraManufacturer = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/271";
const std::wstring kCameraModel = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/272";
const std::wstring kCameraSerialNumber = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/273";
const std::wstring kCategory = L"{D5CDD502-2E9C-101B-9397-08002B2CF9AE}/2";
const std::wstring kImageId = L"{10DABE05-32AA-4C29-BF1A-63E2D220587F}/100";
const std::wstring kPeopleNames = L"{E8309B6E-084C-49B4-B1FC-90A80331B638}/100";
const std::wstring kDateAcquired = L"{2CBAA8F5-D81F-47CA-B17A-F8D822300131}/100";
// The summary-information set prints by name.
const std::wstring kAuthor = L"SummaryInformation/4";
const std::wstring kKeywords = L"SummaryInformation/5";
const std::wstring kApplicationName = L"SummaryInformation/18";

std::string Packet(const std::string& namespaces, const std::string& properties) {
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           "<rdf:Description rdf:about=''" + namespaces + ">\n" + properties +
           "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n"
           "<?xpacket end='w'?>";
}

class PropertyPackChunks : public testing::Test {
protected:
    std::wstring Document(const std::string& bytes) {
        const std::wstring path = temp.File(L"document" + std::to_wstring(++documents) + L".jpg");
        WriteBytes(path, bytes);
        return path;
    }

    RegistrySandbox registry;
    TempDirectory temp;
    int documents = 0;
};

// The two properties the issue of searching by date and copyright is about:
// a text value under System.Copyright and a date under System.Photo.DateTaken.
TEST_F(PropertyPackChunks, RightsAndDateCreatedGiveCopyrightAndDateTaken) {
    DeclarePropertyPack();
    LoadedDll dll;
    const Lines expected = {
        L"1 V DublinCore/rights LPWSTR=(c) 2024 Ana Lima",
        L"2 V Photoshop/DateCreated FILETIME=2024-05-04T04:20:30Z",
        L"3 V " + kCopyright + L" LPWSTR=(c) 2024 Ana Lima",
        L"4 V " + kDateTaken + L" FILETIME=2024-05-04T04:20:30Z",
        L"5 T (c) 2024 Ana Lima",
        L"6 T 2024-05-04T06:20:30+02:00",
        L"7 T (c) 2024 Ana Lima",
        L"8 T 2024-05-04T06:20:30+02:00",
    };
    EXPECT_EQ(expected, dll.Chunks(Document(Packet(
                            " xmlns:dc='http://purl.org/dc/elements/1.1/'"
                            " xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'",
                            "<dc:rights><rdf:Alt><rdf:li xml:lang='x-default'>(c) 2024 Ana Lima</rdf:li></rdf:Alt></dc:rights>\n"
                            "<photoshop:DateCreated>2024-05-04T06:20:30+02:00</photoshop:DateCreated>\n"))));
}

// The pack's paths say lr:, the document says hs: for the same namespace.
// The first document of the process, so nothing but the configuration can
// have told the toolkit a prefix for it.
TEST_F(PropertyPackChunks, LightroomKeywordsUnderAnotherPrefix) {
    DeclarePropertyPack();
    LoadedDll dll;
    const Lines expected = {
        L"1 V " + kKeywords + L" LPWSTR=Places|Harbour",
        L"2 V " + kKeywords + L" LPWSTR=People|Ben Okafor",
        L"3 T Places|Harbour",
        L"4 T People|Ben Okafor",
    };
    EXPECT_EQ(expected, dll.Chunks(Document(Packet(
                            " xmlns:hs='http://ns.adobe.com/lightroom/1.0/'",
                            "<hs:hierarchicalSubject><rdf:Bag><rdf:li>Places|Harbour</rdf:li>"
                            "<rdf:li>People|Ben Okafor</rdf:li></rdf:Bag></hs:hierarchicalSubject>\n"))));
}

// A camera's picture with Exif and no XMP at all: its camera and the date it
// was taken reach Windows Search through the pack, as the toolkit's handler
// imports them (tiff:Make, tiff:Model, exif:DateTimeOriginal).
TEST_F(PropertyPackChunks, ACameraPictureWithExifOnlyGivesItsCameraAndDateTaken) {
    DeclarePropertyPack();
    LoadedDll dll;
    const Lines chunks = dll.Chunks(TestDataPath(L"camera\\Canon.jpg"));
    const auto has = [&](const std::wstring& body) {
        return std::any_of(chunks.begin(), chunks.end(),
                           [&](const std::wstring& chunk) { return chunk.substr(chunk.find(L' ') + 1) == body; });
    };
    EXPECT_TRUE(has(L"V " + kCameraManufacturer + L" LPWSTR=Canon"));
    EXPECT_TRUE(has(L"V " + kCameraModel + L" LPWSTR=Canon EOS DIGITAL REBEL"));
    EXPECT_TRUE(has(L"V " + kDateTaken + L" FILETIME=2003-12-04T06:46:52Z"));
}

// Without the pack the same document gives nothing: the Lightroom namespace
// is no standard schema.
TEST_F(PropertyPackChunks, WithoutThePackLightroomKeywordsGiveNothing) {
    LoadedDll dll;
    EXPECT_EQ(Lines{}, dll.Chunks(Document(Packet(
                           " xmlns:lr='http://ns.adobe.com/lightroom/1.0/'",
                           "<lr:hierarchicalSubject><rdf:Bag><rdf:li>Places|Harbour</rdf:li></rdf:Bag>"
                           "</lr:hierarchicalSubject>\n"))));
}

// A photo ExifTool wrote with every property the pack maps, and a rating,
// which the pack leaves out (System.Rating is VT_UI4): exactly one chunk per
// mapped value, none for the rating.
TEST_F(PropertyPackChunks, EveryPackPropertyOfAPhotoExifToolWrote) {
    DeclarePropertyPack();
    LoadedDll dll;
    const Lines chunks = dll.Chunks(TestDataPath(L"windows-search.jpg"));
    // The pack's chunks come after the standard ones, schema by schema in the
    // registry's enumeration order, which is alphabetical by subkey name.
    const Lines expected = {
        L"V " + kCopyright + L" LPWSTR=(c) 2024 Ana Lima",                // dc.Media
        L"V " + kImageId + L" LPWSTR=4f1e9c2a7b3d4e5f8a9b0c1d2e3f4a5b",  // exif.Image
        L"V " + kDateTaken + L" FILETIME=2024-05-04T04:20:31Z",           // exif.Photo
        L"V " + kPeopleNames + L" LPWSTR=Ben Okafor",                     // Iptc4xmpExt.People
        L"V " + kKeywords + L" LPWSTR=Places|Harbour",                    // lr.Summary
        L"V " + kKeywords + L" LPWSTR=People|Ben Okafor",
        L"V " + kDateAcquired + L" FILETIME=2024-05-06T08:00:00Z",        // MicrosoftPhoto.DateAcquired
        L"V " + kCameraSerialNumber + L" LPWSTR=A-17",                    // MicrosoftPhoto.Photo
        L"V " + kCategory + L" LPWSTR=TRV",                               // photoshop.DocumentSummary
        L"V " + kCategory + L" LPWSTR=harbour",
        L"V " + kCategory + L" LPWSTR=boats",
        L"V " + kDateTaken + L" FILETIME=2024-05-04T04:20:30Z",           // photoshop.Photo
        L"V " + kCameraManufacturer + L" LPWSTR=Ovo",                     // tiff.Photo
        L"V " + kCameraModel + L" LPWSTR=X1",
        L"V " + kAuthor + L" LPWSTR=Ana Lima",                            // tiff.Summary
        L"V " + kApplicationName + L" LPWSTR=Velmora test rig 1.0",       // xmp.Summary
    };
    // The value chunks without their numbers, from the first of the pack's.
    Lines pack;
    bool inPack = false;
    for (const std::wstring& chunk : chunks) {
        const std::wstring body = chunk.substr(chunk.find(L' ') + 1);
        if (body.rfind(L"V ", 0) != 0) continue;
        if (body.find(kCopyright) != std::wstring::npos) inPack = true;
        if (inPack) pack.push_back(body);
    }
    EXPECT_EQ(expected, pack);
}

}  // namespace
