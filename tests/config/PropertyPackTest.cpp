// The Windows Search property pack as data: its two .reg templates and its
// definition files, read the way the configuration reads them. Every Windows
// property key is pinned here as a literal, with the Windows property name it
// stands for, so that an edit to the pack that changes what Windows Search
// receives is caught.
#include "config/SchemaDefinitions.h"
#include "config/VelmoraConfiguration.h"

#include "ConfigTestSupport.h"
#include "PropertyPack.h"

#include <map>
#include <set>

using namespace velmora;
using namespace velmora::test;

namespace {

// Property sets (FMTIDs) of the Windows property system.
const std::wstring kSummaryInformation = L"{F29F85E0-4FF9-1068-AB91-08002B27B3D9}";
const std::wstring kDocumentSummaryInformation = L"{D5CDD502-2E9C-101B-9397-08002B2CF9AE}";
const std::wstring kMedia = L"{64440492-4C8B-11D1-8B70-080036B11A03}";
const std::wstring kPhoto = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}";
const std::wstring kImageId = L"{10DABE05-32AA-4C29-BF1A-63E2D220587F}";
const std::wstring kPeopleNames = L"{E8309B6E-084C-49B4-B1FC-90A80331B638}";
const std::wstring kDateAcquired = L"{2CBAA8F5-D81F-47CA-B17A-F8D822300131}";
const std::wstring kSimpleRating = L"{A09F084E-AD41-489F-8076-AA5BE3082BCA}";
const std::wstring kFocalLengthInFilm = L"{A0E74609-B84D-4F49-B860-462BD9971F98}";
const std::wstring kImageSummary = L"{6444048F-4C8B-11D1-8B70-080036B11A03}";
const std::wstring kLatitudeDecimal = L"{0F55CDE2-4F49-450D-92C1-DCD16301B1B7}";
const std::wstring kLongitudeDecimal = L"{4679C1B5-844D-4590-BAF5-F322231F1B81}";
const std::wstring kAltitude = L"{827EDB4F-5B73-44A7-891D-FDFFABEA35CA}";
const std::wstring kLensManufacturer = L"{E6DDCAF7-29C5-4F0A-9A68-D19412EC7090}";
const std::wstring kLensModel = L"{E1277516-2B5F-4869-89B1-2E585BD38B7A}";

struct PackSchema {
    const wchar_t* name;
    const wchar_t* namespaceUri;
    const std::wstring* propertySet;
    const wchar_t* fileName;
    Lines definitions;  // "path|property|type[|map]", as ConfigTestSupport describes them (vt18 VT_UI2,
                        // vt19 VT_UI4, vt5 VT_R8)
};

// The Windows property each line stands for is in the comment after it.
const PackSchema kPack[] = {
    {L"WindowsSearchPack.dc.Media", L"http://purl.org/dc/elements/1.1/", &kMedia, L"dc-media.txt",
     {L"dc:rights|11|string"}},  // System.Copyright
    {L"WindowsSearchPack.photoshop.Photo", L"http://ns.adobe.com/photoshop/1.0/", &kPhoto, L"photoshop-photo.txt",
     {L"photoshop:DateCreated|36867|date"}},  // System.Photo.DateTaken
    {L"WindowsSearchPack.photoshop.DocumentSummary", L"http://ns.adobe.com/photoshop/1.0/",
     &kDocumentSummaryInformation, L"photoshop-documentsummary.txt",
     {L"photoshop:Category|2|string",                  // System.Category
      L"photoshop:SupplementalCategories|2|string"}},  // System.Category
    {L"WindowsSearchPack.exif.Photo", L"http://ns.adobe.com/exif/1.0/", &kPhoto, L"exif-photo.txt",
     {L"exif:DateTimeOriginal|36867|date",   // System.Photo.DateTaken
      L"exif:ISOSpeedRatings|34855|vt18",    // System.Photo.ISOSpeed, VT_UI2
      L"exif:FNumber|33437|vt5",             // System.Photo.FNumber, VT_R8
      L"exif:ExposureTime|33434|vt5",        // System.Photo.ExposureTime, VT_R8
      L"exif:FocalLength|37386|vt5"}},       // System.Photo.FocalLength, VT_R8
    {L"WindowsSearchPack.exif.Image", L"http://ns.adobe.com/exif/1.0/", &kImageId, L"exif-image.txt",
     {L"exif:ImageUniqueID|100|string"}},  // System.Image.ImageID
    {L"WindowsSearchPack.tiff.Photo", L"http://ns.adobe.com/tiff/1.0/", &kPhoto, L"tiff-photo.txt",
     {L"tiff:Make|271|string",          // System.Photo.CameraManufacturer
      L"tiff:Model|272|string",         // System.Photo.CameraModel
      L"tiff:Orientation|274|vt18"}},   // System.Photo.Orientation, VT_UI2
    {L"WindowsSearchPack.tiff.Summary", L"http://ns.adobe.com/tiff/1.0/", &kSummaryInformation, L"tiff-summary.txt",
     {L"tiff:Artist|4|string"}},  // System.Author
    {L"WindowsSearchPack.exif.Summary", L"http://ns.adobe.com/exif/1.0/", &kSummaryInformation, L"exif-summary.txt",
     {L"exif:UserComment|6|string"}},  // System.Comment
    {L"WindowsSearchPack.xmp.Summary", L"http://ns.adobe.com/xap/1.0/", &kSummaryInformation, L"xmp-summary.txt",
     {L"xmp:CreatorTool|18|string"}},  // System.ApplicationName
    {L"WindowsSearchPack.lr.Summary", L"http://ns.adobe.com/lightroom/1.0/", &kSummaryInformation, L"lr-summary.txt",
     {L"lr:hierarchicalSubject|5|string"}},  // System.Keywords
    {L"WindowsSearchPack.Iptc4xmpExt.People", L"http://iptc.org/std/Iptc4xmpExt/2008-02-29/", &kPeopleNames,
     L"iptcext-people.txt", {L"Iptc4xmpExt:PersonInImage|100|string"}},  // System.Photo.PeopleNames
    {L"WindowsSearchPack.MicrosoftPhoto.Photo", L"http://ns.microsoft.com/photo/1.0", &kPhoto,
     L"microsoftphoto-photo.txt", {L"MicrosoftPhoto:CameraSerialNumber|273|string"}},  // System.Photo.CameraSerialNumber
    {L"WindowsSearchPack.MicrosoftPhoto.DateAcquired", L"http://ns.microsoft.com/photo/1.0", &kDateAcquired,
     L"microsoftphoto-dateacquired.txt", {L"MicrosoftPhoto:DateAcquired|100|date"}},  // System.DateAcquired
    {L"WindowsSearchPack.xmp.Media", L"http://ns.adobe.com/xap/1.0/", &kMedia, L"xmp-media.txt",
     {L"xmp:Rating|9|vt19|1>1 2>25 3>50 4>75 5>99"}},  // System.Rating, VT_UI4, percent
    {L"WindowsSearchPack.xmp.SimpleRating", L"http://ns.adobe.com/xap/1.0/", &kSimpleRating, L"xmp-simplerating.txt",
     {L"xmp:Rating|100|vt19|1>1 2>2 3>3 4>4 5>5"}},  // System.SimpleRating, VT_UI4, stars
    {L"WindowsSearchPack.exif.FocalLengthInFilm", L"http://ns.adobe.com/exif/1.0/", &kFocalLengthInFilm,
     L"exif-focallengthinfilm.txt", {L"exif:FocalLengthIn35mmFilm|100|vt18"}},  // System.Photo.FocalLengthInFilm, VT_UI2
    {L"WindowsSearchPack.exif.ImageSize", L"http://ns.adobe.com/exif/1.0/", &kImageSummary, L"exif-imagesize.txt",
     {L"exif:PixelXDimension|3|vt19",    // System.Image.HorizontalSize, VT_UI4
      L"exif:PixelYDimension|4|vt19"}},  // System.Image.VerticalSize, VT_UI4
    {L"WindowsSearchPack.exif.GPSLatitude", L"http://ns.adobe.com/exif/1.0/", &kLatitudeDecimal,
     L"exif-gpslatitude.txt", {L"exif:GPSLatitude|100|vt5"}},  // System.GPS.LatitudeDecimal, VT_R8
    {L"WindowsSearchPack.exif.GPSLongitude", L"http://ns.adobe.com/exif/1.0/", &kLongitudeDecimal,
     L"exif-gpslongitude.txt", {L"exif:GPSLongitude|100|vt5"}},  // System.GPS.LongitudeDecimal, VT_R8
    {L"WindowsSearchPack.exif.GPSAltitude", L"http://ns.adobe.com/exif/1.0/", &kAltitude, L"exif-gpsaltitude.txt",
     {L"exif:GPSAltitude|100|vt5"}},  // System.GPS.Altitude, VT_R8
    {L"WindowsSearchPack.exifEX.LensManufacturer", L"http://cipa.jp/exif/1.0/", &kLensManufacturer,
     L"exifex-lensmanufacturer.txt", {L"exifEX:LensMake|100|string"}},  // System.Photo.LensManufacturer
    {L"WindowsSearchPack.exifEX.LensModel", L"http://cipa.jp/exif/1.0/", &kLensModel, L"exifex-lensmodel.txt",
     {L"exifEX:LensModel|100|string"}},  // System.Photo.LensModel
    {L"WindowsSearchPack.MicrosoftPhoto.Summary", L"http://ns.microsoft.com/photo/1.0", &kSummaryInformation,
     L"microsoftphoto-summary.txt", {L"MicrosoftPhoto:LastKeywordXMP|5|string"}},  // System.Keywords
    {L"WindowsSearchPack.mwg-rs.People", L"http://www.metadataworkinggroup.com/schemas/regions/", &kPeopleNames,
     L"mwgrs-people.txt",
     {L"mwg-rs:Regions/mwg-rs:RegionList[*]/mwg-rs:Name|100|string"}},  // System.Photo.PeopleNames
    {L"WindowsSearchPack.MP.People", L"http://ns.microsoft.com/photo/1.2/", &kPeopleNames, L"mp-people.txt",
     {L"MP:RegionInfo/MPRI:Regions[*]/MPReg:PersonDisplayName|100|string"}},  // System.Photo.PeopleNames
};

const std::wstring kX64Root = L"SOFTWARE\\Corvantis\\Velmora\\CustomSchemas\\";
const std::wstring kX86Root = L"SOFTWARE\\WOW6432Node\\Corvantis\\Velmora\\CustomSchemas\\";

void ExpectTemplate(const std::wstring& file, const std::wstring& root) {
    SCOPED_TRACE(Narrow(file));
    const std::vector<RegFileKey> keys = ReadRegFile(PackPath(file));
    ASSERT_EQ(std::size(kPack), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const PackSchema& schema = kPack[i];
        SCOPED_TRACE(Narrow(schema.name));
        EXPECT_EQ(root + schema.name, keys[i].path);
        const std::vector<std::pair<std::wstring, std::wstring>> expected = {
            {L"GUID", *schema.propertySet},
            {L"NameSpace", schema.namespaceUri},
            {L"FileName", std::wstring(L"[PACKDIR]") + schema.fileName},
        };
        EXPECT_EQ(expected, keys[i].values);
    }
}

TEST(PropertyPack, TemplatesDeclareTheSameSchemasInEachView) {
    ExpectTemplate(L"windows-search-x64.reg", kX64Root);
    ExpectTemplate(L"windows-search-x86.reg", kX86Root);
}

// Subkey names mark the pack's own declarations, so that installing and
// removing the pack never touches an administrator's custom schemas.
TEST(PropertyPack, EverySchemaNameMarksItAsThePacks) {
    std::set<std::wstring> names;
    for (const PackSchema& schema : kPack) {
        EXPECT_EQ(0u, std::wstring(schema.name).rfind(L"WindowsSearchPack.", 0)) << Narrow(schema.name);
        EXPECT_TRUE(names.insert(schema.name).second) << Narrow(schema.name);
    }
}

TEST(PropertyPack, DefinitionFilesGiveThePinnedProperties) {
    for (const PackSchema& schema : kPack) {
        SCOPED_TRACE(Narrow(schema.fileName));
        CustomPropertyDefinitionList definitions;
        ReadSchemaDefinitionFile(PackPath(schema.fileName).c_str(), definitions);
        EXPECT_EQ(schema.definitions, Describe(definitions));
    }
}

// Only the types Windows declares its properties with: text, dates and the
// numeric types; never VT_INT, which no Windows property is, and every
// property by its identifier.
TEST(PropertyPack, EveryDefinitionHasATypeWindowsDeclares) {
    for (const PackSchema& schema : kPack) {
        CustomPropertyDefinitionList definitions;
        ReadSchemaDefinitionFile(PackPath(schema.fileName).c_str(), definitions);
        for (const CustomPropertyDefinition& definition : definitions) {
            const VARTYPE type = definition.valueType;
            EXPECT_TRUE(type == VT_LPWSTR || type == VT_FILETIME || type == VT_UI2 || type == VT_UI4 || type == VT_R8)
                << definition.path;
            EXPECT_LT(0, wcstol(definition.property.c_str(), nullptr, 10)) << definition.path;
        }
    }
}

class PropertyPackConfiguration : public LoggedRegistryTest {};

// The configuration built over the declared pack holds every schema, in the
// registry's enumeration order (alphabetical without regard to case), and
// logs no error.
TEST_F(PropertyPackConfiguration, ConfigurationLoadsEverySchema) {
    DeclarePropertyPack();
    const VelmoraConfiguration configuration(kKey);
    struct CaseBlind {
        bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
    };
    std::map<std::wstring, const PackSchema*, CaseBlind> byName;
    for (const PackSchema& schema : kPack) byName[schema.name] = &schema;
    Lines expected;
    for (const auto& [name, schema] : byName) {
        expected.push_back(name + L" " + schema->namespaceUri + L" " + *schema->propertySet + L" " +
                           std::to_wstring(schema->definitions.size()));
    }
    EXPECT_EQ(expected, Describe(configuration.customSchemas));
    for (const std::wstring& line : Logged()) EXPECT_EQ(std::wstring::npos, line.find(L"ERROR")) << Narrow(line);
}

}  // namespace
