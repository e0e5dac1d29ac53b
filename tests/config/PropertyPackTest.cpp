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

struct PackSchema {
    const wchar_t* name;
    const wchar_t* namespaceUri;
    const std::wstring* propertySet;
    const wchar_t* fileName;
    Lines definitions;  // "path|property|type", as ConfigTestSupport describes them
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
     {L"exif:DateTimeOriginal|36867|date"}},  // System.Photo.DateTaken
    {L"WindowsSearchPack.exif.Image", L"http://ns.adobe.com/exif/1.0/", &kImageId, L"exif-image.txt",
     {L"exif:ImageUniqueID|100|string"}},  // System.Image.ImageID
    {L"WindowsSearchPack.tiff.Photo", L"http://ns.adobe.com/tiff/1.0/", &kPhoto, L"tiff-photo.txt",
     {L"tiff:Make|271|string",     // System.Photo.CameraManufacturer
      L"tiff:Model|272|string"}},  // System.Photo.CameraModel
    {L"WindowsSearchPack.tiff.Summary", L"http://ns.adobe.com/tiff/1.0/", &kSummaryInformation, L"tiff-summary.txt",
     {L"tiff:Artist|4|string"}},  // System.Author
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

// Only text and date properties: a custom schema cannot give a Windows
// property its numeric type (System.Rating is VT_UI4), and the definition
// file's own types are the only ones the pack uses.
TEST(PropertyPack, EveryDefinitionIsTextOrDate) {
    for (const PackSchema& schema : kPack) {
        CustomPropertyDefinitionList definitions;
        ReadSchemaDefinitionFile(PackPath(schema.fileName).c_str(), definitions);
        for (const CustomPropertyDefinition& definition : definitions) {
            EXPECT_TRUE(definition.valueType == VT_LPWSTR || definition.valueType == VT_FILETIME) << definition.path;
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
