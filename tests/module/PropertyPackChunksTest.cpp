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
// The photo properties Windows declares with numeric types.
const std::wstring kRating = L"{64440492-4C8B-11D1-8B70-080036B11A03}/9";             // VT_UI4, 1-99
const std::wstring kSimpleRating = L"{A09F084E-AD41-489F-8076-AA5BE3082BCA}/100";     // VT_UI4, 0-5
const std::wstring kIsoSpeed = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/34855";       // VT_UI2
const std::wstring kFNumber = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/33437";        // VT_R8
const std::wstring kExposureTime = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/33434";   // VT_R8
const std::wstring kFocalLength = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/37386";    // VT_R8
const std::wstring kOrientation = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/274";      // VT_UI2
const std::wstring kFocalLengthInFilm = L"{A0E74609-B84D-4F49-B860-462BD9971F98}/100";  // VT_UI2
const std::wstring kHorizontalSize = L"{6444048F-4C8B-11D1-8B70-080036B11A03}/3";     // VT_UI4
const std::wstring kVerticalSize = L"{6444048F-4C8B-11D1-8B70-080036B11A03}/4";       // VT_UI4
const std::wstring kLatitudeDecimal = L"{0F55CDE2-4F49-450D-92C1-DCD16301B1B7}/100";  // VT_R8
const std::wstring kLongitudeDecimal = L"{4679C1B5-844D-4590-BAF5-F322231F1B81}/100"; // VT_R8
const std::wstring kAltitude = L"{827EDB4F-5B73-44A7-891D-FDFFABEA35CA}/100";         // VT_R8
const std::wstring kLensManufacturer = L"{E6DDCAF7-29C5-4F0A-9A68-D19412EC7090}/100"; // VT_LPWSTR
const std::wstring kLensModel = L"{E1277516-2B5F-4869-89B1-2E585BD38B7A}/100";        // VT_LPWSTR

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

// Without the pack the same document gives no value: the Lightroom namespace
// is no standard schema. Its keywords still reach the full text.
TEST_F(PropertyPackChunks, WithoutThePackLightroomKeywordsReachOnlyTheFullText) {
    LoadedDll dll;
    EXPECT_EQ(Lines{L"1 T Places|Harbour"}, dll.Chunks(Document(Packet(
                           " xmlns:lr='http://ns.adobe.com/lightroom/1.0/'",
                           "<lr:hierarchicalSubject><rdf:Bag><rdf:li>Places|Harbour</rdf:li></rdf:Bag>"
                           "</lr:hierarchicalSubject>\n"))));
}

// A photo ExifTool wrote with every property the pack maps: exactly one
// chunk per mapped value; the rating of 4 stars twice, as System.Rating on
// its percent scale and as System.SimpleRating.
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
        // tiff.Summary: tiff:Artist "Ana Lima" is no second System.Author
        // value, since dc:creator already gave it.
        L"V " + kRating + L" UI4=75",                                     // xmp.Media
        L"V " + kSimpleRating + L" UI4=4",                                // xmp.SimpleRating
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

// The value chunks of the pack's numeric properties, "<key> <TYPE>=<value>".
Lines NumericChunks(const Lines& chunks) {
    static const std::wstring keys[] = {kRating,           kSimpleRating,   kIsoSpeed,        kFNumber,
                                        kExposureTime,     kFocalLength,    kOrientation,     kFocalLengthInFilm,
                                        kHorizontalSize,   kVerticalSize,   kLatitudeDecimal, kLongitudeDecimal,
                                        kAltitude,         kLensManufacturer, kLensModel};
    Lines found;
    for (const std::wstring& chunk : chunks) {
        const std::wstring body = chunk.substr(chunk.find(L' ') + 1);
        if (body.rfind(L"V ", 0) != 0) continue;
        for (const std::wstring& key : keys) {
            if (body.compare(2, key.size() + 1, key + L" ") == 0) found.push_back(body.substr(2));
        }
    }
    return found;
}

// A camera picture that ExifTool gave GPS, lens, exposure and a rating
// (tests/data/camera/README.md): each reaches the host as a value of the type
// Windows declares, equal to what "exiftool -n" reads: Rating 4, ISO 3200,
// FNumber 2.8, ExposureTime 0.004, FocalLength 50, FocalLengthIn35mmFormat 75,
// Orientation 1, ExifImageWidth 160, ExifImageHeight 120, GPSLatitude
// 51.50752, GPSLongitude -0.1278, GPSAltitude 35.5, LensMake Ovo, LensModel
// "Ovo 50mm F2.8". Rating, ISO, aperture, exposure, focal length and place.
// The toolkit imports the Exif coordinates (degrees, minutes, seconds) as XMP
// decimal minutes with as many places as the seconds had ("51,30.451N" for
// 30' 27.072", "0,7.67W" for 7' 40.08"), up to 0.005 minutes off, some 9 m:
// the place within 0.0001 degrees.
TEST_F(PropertyPackChunks, ACameraPictureGivesItsNumbersAsWindowsTypes) {
    DeclarePropertyPack();
    LoadedDll dll;
    Lines chunks = NumericChunks(dll.Chunks(TestDataPath(L"camera\\photo-numbers.jpg")));
    const auto take = [&](const std::wstring& key) {
        const std::wstring prefix = key + L" R8=";
        for (auto chunk = chunks.begin(); chunk != chunks.end(); ++chunk) {
            if (chunk->rfind(prefix, 0) != 0) continue;
            const double number = wcstod(chunk->c_str() + prefix.size(), nullptr);
            chunks.erase(chunk);
            return number;
        }
        ADD_FAILURE() << "no " << Narrow(prefix);
        return 0.0;
    };
    EXPECT_NEAR(51.50752, take(kLatitudeDecimal), 1e-4);
    EXPECT_NEAR(-0.1278, take(kLongitudeDecimal), 1e-4);
    const Lines expected = {
        kFocalLengthInFilm + L" UI2=75",
        kAltitude + L" R8=35.5",
        kHorizontalSize + L" UI4=160",
        kVerticalSize + L" UI4=120",
        kIsoSpeed + L" UI2=3200",
        kFNumber + L" R8=2.8",
        kExposureTime + L" R8=0.004",
        kFocalLength + L" R8=50",
        kLensManufacturer + L" LPWSTR=Ovo",
        kLensModel + L" LPWSTR=Ovo 50mm F2.8",
        kOrientation + L" UI2=1",
        kRating + L" UI4=75",
        kSimpleRating + L" UI4=4",
    };
    EXPECT_EQ(expected, chunks);
}

// Two cameras' own pictures, Exif only, as they came: their exposure values
// equal ExifTool's numbers ("exiftool -n": Canon ISO 100, FNumber 14,
// ExposureTime 4, FocalLength 34; Nikon ISO 100, FNumber 9.4, ExposureTime
// 0.004686035614, FocalLength 8.6), to ExifTool's ten significant digits.
TEST_F(PropertyPackChunks, CameraExposureEqualsExifToolsNumbers) {
    DeclarePropertyPack();
    LoadedDll dll;
    struct Camera {
        const wchar_t* file;
        double iso, fNumber, exposureTime, focalLength;
    };
    for (const Camera& camera : {Camera{L"Canon.jpg", 100, 14, 4, 34}, Camera{L"Nikon.jpg", 100, 9.4, 0.004686035614, 8.6}}) {
        SCOPED_TRACE(Narrow(camera.file));
        const Lines chunks = NumericChunks(dll.Chunks(TestDataPath(std::wstring(L"camera\\") + camera.file)));
        const auto number = [&](const std::wstring& key, const std::wstring& type) {
            for (const std::wstring& chunk : chunks) {
                if (chunk.rfind(key + L" " + type + L"=", 0) == 0) return wcstod(chunk.c_str() + key.size() + type.size() + 2, nullptr);
            }
            ADD_FAILURE() << "no " << Narrow(key) << " " << Narrow(type);
            return -1.0;
        };
        EXPECT_EQ(camera.iso, number(kIsoSpeed, L"UI2"));
        EXPECT_NEAR(camera.fNumber, number(kFNumber, L"R8"), camera.fNumber * 1e-9);
        EXPECT_NEAR(camera.exposureTime, number(kExposureTime, L"R8"), camera.exposureTime * 1e-9);
        EXPECT_NEAR(camera.focalLength, number(kFocalLength, L"R8"), camera.focalLength * 1e-9);
    }
}

}  // namespace
